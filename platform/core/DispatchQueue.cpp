#include "platform/core/DispatchQueue.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/DispatchQueuePrivate.h"
#include "platform/core/Thread.h"

namespace core {

namespace {

// Serial queues hand the pool back after this many tasks, so one busy queue cannot keep a
// worker from everyone else.
constexpr int kSerialBatch = 64;

// Tasks queued behind busy workers wait this long without any task being taken before the
// pool concludes the busy ones are stuck (blocked or long) and sends another worker.
constexpr auto kStallInterval = std::chrono::milliseconds(1);

// The calling thread's hold on worker wake-ups (see DispatchQueuePrivate.h).
struct HeldWakeUps {
    int depth = 0;
    bool owed = false;  // a task was queued under the hold since the last wake-up was sent
};
thread_local HeldWakeUps heldWakeUps;

// The threads behind every non-main queue. It grows on demand up to a bound and keeps its
// threads for the life of the process.
//
// One wake-up is in flight at a time, and a worker that takes a task and leaves others behind
// does not wake another at once: a burst of small tasks (operation starts, completion blocks)
// is taken by the worker already awake, one after the other, instead of by a chain of
// sleepers that each cost a context switch and mostly find the queue empty. So that a task
// that blocks or runs long never strands the ones queued after it, a watchdog thread looks
// while tasks wait: when none has been taken for kStallInterval, it sends another worker.
class WorkerPool {
public:
    static WorkerPool& shared() {
        static auto* pool = new WorkerPool;  // workers may still run while statics die
        return *pool;
    }

    void submit(Task task) {
        Action action;
        {
            std::lock_guard guard(mutex_);
            tasks_.push_back(std::move(task));
            if (heldWakeUps.depth > 0) {
                heldWakeUps.owed = true;
                return;
            }
            action = threads_ == waiting_ ? wakeOneLocked() : watchLocked();
        }
        act(action);
    }

    // What submit() would have done for the tasks queued under a hold, done once for all.
    void sendHeldWakeUp() {
        if (!heldWakeUps.owed) {
            return;
        }
        heldWakeUps.owed = false;
        Action action = Action::None;
        {
            std::lock_guard guard(mutex_);
            if (!tasks_.empty()) {
                action = threads_ == waiting_ ? wakeOneLocked() : watchLocked();
            }
        }
        act(action);
    }

private:
    enum class Action { None, NotifyWorker, StartWorker, NotifyWatchdog, StartWatchdog };

    WorkerPool() : limit_(std::max(16u, 4 * std::thread::hardware_concurrency())) {}

    // Makes sure a worker is on its way to the queue.
    Action wakeOneLocked() {
        if (wakeInFlight_) {
            return Action::None;
        }
        if (waiting_ > 0) {
            wakeInFlight_ = true;
            return Action::NotifyWorker;
        }
        if (threads_ < limit_) {
            ++threads_;
            return Action::StartWorker;
        }
        return Action::None;  // every worker is busy; each looks at the queue when its task ends
    }

    // Tasks wait behind busy workers: makes sure the watchdog looks.
    Action watchLocked() {
        if (watching_ || wakeInFlight_) {
            return Action::None;
        }
        watching_ = true;
        if (!watchdogStarted_) {
            watchdogStarted_ = true;
            return Action::StartWatchdog;
        }
        return Action::NotifyWatchdog;
    }

    // Notifications are sent with the lock released, so the woken thread does not wake
    // only to wait for the lock.
    void act(Action action) {
        switch (action) {
            case Action::None:
                break;
            case Action::NotifyWorker:
                available_.notify_one();
                break;
            case Action::StartWorker:
                startThread([this] { work(); }, true);
                break;
            case Action::NotifyWatchdog:
                watch_.notify_one();
                break;
            case Action::StartWatchdog:
                startThread([this] { watchdog(); }, false);
                break;
        }
    }

    void startThread(std::function<void()> body, bool worker) {
        try {
            std::thread(std::move(body)).detach();
        } catch (const std::system_error& error) {
            std::fprintf(stderr, "core::DispatchQueue: cannot start a thread: %s\n", error.what());
            std::lock_guard guard(mutex_);
            if (worker) {
                --threads_;  // the queued task waits for a worker that exists
            } else {
                watchdogStarted_ = false;  // the next burst tries again
                watching_ = false;
            }
        }
    }

    void work() {
        // Background work: a worker that wakes should not take the core from the thread
        // that woke it (which is usually about to queue more or to sleep), only get its
        // fair share once it is running.
        sched_param unused{};
        ::sched_setscheduler(0, SCHED_BATCH, &unused);
        std::unique_lock lock(mutex_);
        for (;;) {
            while (tasks_.empty()) {
                ++waiting_;
                available_.wait(lock);
                --waiting_;
                // Woken (or not) and looking: whoever was sent is here, or the task it was
                // sent for was taken by a worker on its way back; either way the next
                // submission may wake someone.
                wakeInFlight_ = false;
            }
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            ++taken_;
            Action action = tasks_.empty() ? Action::None : watchLocked();
            lock.unlock();
            act(action);
            task();
            task = nullptr;
            lock.lock();
        }
    }

    void watchdog() {
        std::unique_lock lock(mutex_);
        for (;;) {
            watch_.wait(lock, [this] { return watching_; });
            std::uint64_t seen = taken_;
            watch_.wait_for(lock, kStallInterval);
            if (tasks_.empty()) {
                watching_ = false;
                continue;
            }
            if (taken_ == seen) {
                Action action = wakeOneLocked();
                lock.unlock();
                act(action);
                lock.lock();
            }
        }
    }

    const unsigned limit_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::condition_variable watch_;
    std::deque<Task> tasks_;        // guarded by mutex_
    unsigned threads_ = 0;          // guarded by mutex_
    unsigned waiting_ = 0;          // guarded by mutex_
    std::uint64_t taken_ = 0;       // guarded by mutex_: tasks taken so far
    bool wakeInFlight_ = false;     // guarded by mutex_: a sleeper was notified and has not looked
    bool watching_ = false;         // guarded by mutex_: the watchdog looks at the queue
    bool watchdogStarted_ = false;  // guarded by mutex_
};

// The queues whose tasks the calling thread is running, innermost last: a sync onto any of
// them runs inline instead of waiting for itself.
thread_local std::vector<DispatchQueue*> runningQueues;

class RunningScope {
public:
    explicit RunningScope(DispatchQueue* queue) { runningQueues.push_back(queue); }
    ~RunningScope() { runningQueues.pop_back(); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

bool isRunning(const DispatchQueue* queue) {
    return std::find(runningQueues.begin(), runningQueues.end(), queue) != runningQueues.end();
}

// A sync caller waiting for its turn on a serial queue.
struct SyncTurn {
    std::mutex mutex;
    std::condition_variable condition;
    bool granted = false;

    void grant() {
        std::lock_guard guard(mutex);
        granted = true;
        condition.notify_one();
    }
    void await() {
        std::unique_lock lock(mutex);
        condition.wait(lock, [this] { return granted; });
    }
};

}  // namespace

namespace detail {

WorkerWakeUpHold::WorkerWakeUpHold() {
    ++heldWakeUps.depth;
}

WorkerWakeUpHold::~WorkerWakeUpHold() {
    if (--heldWakeUps.depth == 0) {
        WorkerPool::shared().sendHeldWakeUp();
    }
}

void sendHeldWorkerWakeUp() {
    WorkerPool::shared().sendHeldWakeUp();
}

}  // namespace detail

// A serial queue is "owned" while a drain is queued or running, or while a sync caller runs
// its task; only the owner runs tasks, which is what makes the queue serial.
class DispatchQueueState {
public:
    struct Item {
        Task task;
        std::shared_ptr<SyncTurn> turn;  // set for a sync caller's place in line
    };

    static void asyncSerial(DispatchQueue& queue, Task&& task);
    static void syncSerial(DispatchQueue& queue, Task&& task);

private:
    static void scheduleDrain(DispatchQueue& queue);
    static void drain(DispatchQueue& queue);
    static void release(DispatchQueue& queue);

    std::mutex mutex_;
    std::deque<Item> items_;  // guarded by mutex_
    bool owned_ = false;      // guarded by mutex_
};

void DispatchQueueState::asyncSerial(DispatchQueue& queue, Task&& task) {
    auto& state = *queue.state_;
    bool mustSchedule = false;
    {
        std::lock_guard guard(state.mutex_);
        state.items_.push_back({std::move(task), nullptr});
        mustSchedule = !std::exchange(state.owned_, true);
    }
    if (mustSchedule) {
        scheduleDrain(queue);
    }
}

void DispatchQueueState::syncSerial(DispatchQueue& queue, Task&& task) {
    auto& state = *queue.state_;
    std::shared_ptr<SyncTurn> turn;
    {
        std::lock_guard guard(state.mutex_);
        if (state.owned_) {
            turn = std::make_shared<SyncTurn>();
            state.items_.push_back({nullptr, turn});
        } else {
            state.owned_ = true;
        }
    }
    if (turn) {
        detail::sendHeldWorkerWakeUp();  // the drain that grants the turn may be held back
        turn->await();
    }
    {
        RunningScope running(&queue);
        task();
    }
    release(queue);
}

void DispatchQueueState::scheduleDrain(DispatchQueue& queue) {
    WorkerPool::shared().submit(
        [protectedQueue = queue.shared_from_this()] { drain(*protectedQueue); });
}

void DispatchQueueState::drain(DispatchQueue& queue) {
    auto& state = *queue.state_;
    RunningScope running(&queue);
    for (int count = 0; count < kSerialBatch; ++count) {
        Item item;
        {
            std::lock_guard guard(state.mutex_);
            if (state.items_.empty()) {
                state.owned_ = false;
                return;
            }
            item = std::move(state.items_.front());
            state.items_.pop_front();
        }
        if (item.turn) {
            item.turn->grant();  // the sync caller owns the queue now and releases it
            return;
        }
        item.task();
    }
    scheduleDrain(queue);
}

void DispatchQueueState::release(DispatchQueue& queue) {
    auto& state = *queue.state_;
    {
        std::lock_guard guard(state.mutex_);
        if (state.items_.empty()) {
            state.owned_ = false;
            return;
        }
    }
    scheduleDrain(queue);
}

DispatchQueue::DispatchQueue(Kind kind, std::string label)
    : kind_(kind), label_(std::move(label)), state_(std::make_unique<DispatchQueueState>()) {}

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::Main, "main"));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::Concurrent, "global"));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
    return std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::Serial, std::move(label)));
}

std::shared_ptr<DispatchQueue> DispatchQueue::createConcurrent(std::string label) {
    return std::shared_ptr<DispatchQueue>(new DispatchQueue(Kind::Concurrent, std::move(label)));
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
    if (!runningQueues.empty()) {
        return runningQueues.back()->shared_from_this();
    }
    return Thread::isMainThread() ? main() : nullptr;
}

namespace {

// Held once: main-queue posts are hot, and copying the shared pointer costs two atomics.
RunLoop& mainLoop() {
    static RunLoop* const loop = RunLoop::main().get();  // the main loop is never destroyed
    return *loop;
}

}  // namespace

void DispatchQueue::async(Task task) {
    if (!task) {
        return;
    }
    switch (kind_) {
        case Kind::Main:
            mainLoop().post(std::move(task));
            break;
        case Kind::Serial:
            DispatchQueueState::asyncSerial(*this, std::move(task));
            break;
        case Kind::Concurrent:
            WorkerPool::shared().submit([self = shared_from_this(), task = std::move(task)] {
                RunningScope running(self.get());
                task();
            });
            break;
    }
}

void DispatchQueue::sync(Task task) {
    if (!task) {
        return;
    }
    auto protectedThis = shared_from_this();  // the caller may drop the queue inside the task
    if (kind_ == Kind::Main) {
        mainLoop().postAndWait(std::move(task));
    } else if (kind_ == Kind::Concurrent || isRunning(this)) {
        RunningScope running(this);
        task();
    } else {
        DispatchQueueState::syncSerial(*this, std::move(task));
    }
}

}  // namespace core
