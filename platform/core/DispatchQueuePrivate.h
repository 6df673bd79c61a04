#pragma once

namespace core::detail {

// While a thread holds worker wake-ups, tasks it queues on non-main dispatch queues are
// queued at once, but the worker pool is woken once for all of them: when the outermost
// hold ends, or earlier through sendHeldWorkerWakeUp(). A run loop that batches wake-ups
// holds them for a pass and sends them before it sleeps, so the completions of several
// transfers that end in one pass cost one wake-up, not one each.
class WorkerWakeUpHold {
public:
    WorkerWakeUpHold();
    ~WorkerWakeUpHold();
    WorkerWakeUpHold(const WorkerWakeUpHold&) = delete;
    WorkerWakeUpHold& operator=(const WorkerWakeUpHold&) = delete;
};

// Sends the wake-up the calling thread holds back, if any. Every wait of this layer calls
// it first: a thread must never block on work whose wake-up it still holds.
void sendHeldWorkerWakeUp();

}  // namespace core::detail
