#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/RunLoopWaiter.h"

namespace core {

using Task = std::function<void()>;

class Timer;
class RunLoopState;

// One event loop per thread: posted calls, timers and file-descriptor sources, each
// registered for one or more modes and serviced only while the loop runs in one of them.
// Everything here may be called from any thread unless noted "loop thread"; callbacks always
// run on the loop's thread, with no lock of the loop held.
class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    using Predicate = std::function<bool()>;
    using FdCallback = std::function<void(int fd, FdEvents events)>;
    using WatchId = std::uint64_t;

    // Both names live until the process ends: threads that never end (the network thread) may
    // still post while static objects are being destroyed at exit.
    static const std::string& kDefaultMode;
    // Not a mode a loop runs in but a set of modes: the default mode plus any added with
    // addCommonMode(). Work registered for it is serviced in each of them.
    static const std::string& kCommonModes;

    enum class RunResult { Handled, TimedOut, Stopped };
    // Which clock a run deadline is measured on: the Clock (virtual in tests) or real time,
    // which is what watchdogs want.
    enum class DeadlineClock { Clock, Real };

    // The calling thread's loop, made on first use. On the main thread it is main().
    static std::shared_ptr<RunLoop> current();
    // The loop of the main thread: the process's initial thread unless
    // Thread::markMainThread() named another before any use.
    static std::shared_ptr<RunLoop> main();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Queues the task; never runs it inline and never blocks. Tasks from one poster run in
    // the order posted. Tasks posted to a loop whose thread has ended are dropped.
    void post(Task task, const std::string& mode = kCommonModes);
    void post(Task task, const std::vector<std::string>& modes);

    // Runs the task on the loop's thread and returns once it has run. On the loop's own
    // thread it runs at once. Returns false if the task was dropped because the loop's thread
    // ended. Must not be used to wait for a thread that waits for the caller.
    bool postAndWait(Task task, const std::string& mode = kCommonModes);
    bool postAndWait(Task task, const std::vector<std::string>& modes);

    // Loop thread. run() services the default mode until stop(); the others also return at
    // their deadline. runUntil(predicate, ...) returns whether the predicate held.
    void run();
    void runUntil(Clock::TimePoint deadline);
    bool runUntil(const Predicate& done, Clock::TimePoint deadline,
                  DeadlineClock clock = DeadlineClock::Clock);
    // Services `mode` until one source, timer or batch of posted tasks has been handled, the
    // deadline passes or stop() is called.
    RunResult runInMode(const std::string& mode, Clock::TimePoint deadline);

    // Makes the innermost running run*/runInMode of this loop return soon; when the loop is
    // not running, the next one returns at once.
    void stop();

    // Whether the calling thread is this loop's thread.
    bool isCurrent() const;
    // Loop thread: the mode the loop runs in now, empty when it is not running.
    std::string currentMode() const;

    void addCommonMode(const std::string& mode);

    // The timer fires on this loop while it runs in `mode`. A timer lives in one loop; it
    // leaves it when invalidated.
    void addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode = kDefaultMode);

    // The callback runs on the loop's thread whenever `fd` is ready for one of `events` (or in
    // error) while the loop runs in `mode`. Watching does not take ownership of `fd`.
    WatchId watchFileDescriptor(int fd, FdEvents events, FdCallback callback,
                                const std::string& mode = kCommonModes);
    // Changes the events waited for; false for an unknown id.
    bool updateFileDescriptor(WatchId id, FdEvents events);
    // After this returns on the loop's thread the callback is not called again; from another
    // thread, a callback already running may still finish.
    void unwatchFileDescriptor(WatchId id);

    // Replaces how the loop sleeps; call before the loop first runs.
    void setWaiter(std::unique_ptr<RunLoopWaiter> waiter);

    // A loop that batches worker wake-ups wakes the worker pool once per pass for all the
    // tasks the pass queued on non-main dispatch queues, before it sleeps or returns, rather
    // than once per task. Suits loops whose passes are short and often queue several tasks
    // (a network thread finishing several transfers in one pass); a task queued early in a
    // pass waits for the rest of the pass. Off by default.
    void setBatchesWorkerWakeUps(bool batches);

    // Makes a sleeping loop look at its timers again (a virtual clock advanced).
    void wakeUp();

private:
    friend class Thread;
    friend class RunLoopState;
    RunLoop();

    std::unique_ptr<RunLoopState> state_;
};

}  // namespace core
