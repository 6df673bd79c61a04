#include "platform/core/RunLoop.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/core/DispatchQueuePrivate.h"
#include "platform/core/RunLoopPrivate.h"
#include "platform/core/ThreadPrivate.h"
#include "platform/core/Timer.h"

namespace core {

const std::string& RunLoop::kDefaultMode = *new std::string("DefaultRunLoopMode");
const std::string& RunLoop::kCommonModes = *new std::string("CommonRunLoopModes");

namespace {

// Modes are interned to bits, so matching work against the running mode is a mask test.
using ModeMask = std::uint64_t;
constexpr ModeMask kCommonBit = 1;
constexpr ModeMask kDefaultBit = 2;
constexpr std::size_t kMaxModes = 64;
// Longer waits are cut short; the loop simply looks again.
constexpr double kLongestWaitSeconds = 3600.0;

class ModeNames {
public:
    ModeMask bitFor(const std::string& mode) {
        std::lock_guard guard(mutex_);
        auto found = bits_.find(mode);
        if (found != bits_.end()) {
            return found->second;
        }
        if (bits_.size() + 2 >= kMaxModes) {
            std::fprintf(stderr, "core::RunLoop: too many modes; \"%s\" is treated as default\n",
                         mode.c_str());
            return kDefaultBit;
        }
        ModeMask bit = ModeMask{1} << (bits_.size() + 2);
        bits_.emplace(mode, bit);
        return bit;
    }

    // A name that stays valid for the life of the process: map keys never move.
    const std::string* intern(const std::string& mode) {
        bitFor(mode);
        std::lock_guard guard(mutex_);
        auto found = bits_.find(mode);
        return found != bits_.end() ? &found->first : &RunLoop::kDefaultMode;
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::string, ModeMask> bits_;
};

ModeNames& modeNames() {
    static auto* names = new ModeNames;  // lives as long as any thread might post
    return *names;
}

const std::string* internedName(const std::string& mode) {
    if (mode == RunLoop::kDefaultMode) {
        return &RunLoop::kDefaultMode;
    }
    return modeNames().intern(mode);
}

ModeMask modeBit(const std::string& mode) {
    if (&mode == &RunLoop::kCommonModes) {
        return kCommonBit;  // the default argument: no need to compare text
    }
    if (mode == RunLoop::kCommonModes) {
        return kCommonBit;
    }
    if (mode == RunLoop::kDefaultMode) {
        return kDefaultBit;
    }
    return modeNames().bitFor(mode);
}

ModeMask modeMask(const std::vector<std::string>& modes) {
    if (modes.empty()) {
        return kCommonBit;
    }
    ModeMask mask = 0;
    for (const auto& mode : modes) {
        mask |= modeBit(mode);
    }
    return mask;
}

// The bit a loop runs under: the common set is not a mode of its own.
ModeMask runningBit(const std::string& mode) {
    ModeMask bit = modeBit(mode);
    return bit == kCommonBit ? kDefaultBit : bit;
}

struct Posted {
    Task task;
    ModeMask modes;
};

struct FdWatch {
    RunLoop::WatchId id;
    int fd;
    FdEvents events;
    std::shared_ptr<RunLoop::FdCallback> callback;
    ModeMask modes;
};

struct TimerEntry {
    std::shared_ptr<Timer> timer;
    ModeMask modes;
};

struct RunContext {
    ModeMask bit;
    Clock::TimePoint deadline;
    RunLoop::DeadlineClock clock;
};

}  // namespace

class RunLoopState {
public:
    static std::shared_ptr<RunLoop> make() { return std::shared_ptr<RunLoop>(new RunLoop); }

    static RunLoopState& of(RunLoop& loop) { return *loop.state_; }

    RunLoopState();
    ~RunLoopState();

    void post(Task&& task, ModeMask modes);
    bool postAndWait(RunLoop& loop, Task&& task, ModeMask modes);
    void retire();
    void bindToCallingThread() { bindTo(detail::currentThreadId()); }
    void bindTo(int threadId) { ownerThread_.store(threadId); }
    bool isCurrent() const { return ownerThread_.load() == detail::currentThreadId(); }
    void wake() { waiter_.load()->wake(); }
    void stop() {
        stopRequested_.store(true);
        wake();
    }

    RunLoop::RunResult runOnce(const RunContext& context);
    bool runUntil(const RunLoop::Predicate& done, const RunContext& context);
    void checkCalledOnLoopThread(const char* what) const;

    void addCommonMode(ModeMask bit) { commonModes_.fetch_or(bit); }
    void setBatchesWorkerWakeUps(bool batches) { batchesWorkerWakeUps_.store(batches); }
    void addTimer(const std::shared_ptr<RunLoop>& loop, const std::shared_ptr<Timer>& timer,
                  ModeMask modes);
    RunLoop::WatchId watch(int fd, FdEvents events, RunLoop::FdCallback&& callback, ModeMask modes);
    bool update(RunLoop::WatchId id, FdEvents events);
    void unwatch(RunLoop::WatchId id);
    void setWaiter(std::unique_ptr<RunLoopWaiter> waiter);

    const std::string* currentMode_ = nullptr;  // loop thread; points at an interned name

private:
    bool matches(ModeMask modes, ModeMask running) const {
        return (modes & running) != 0 ||
               ((modes & kCommonBit) != 0 && (commonModes_.load() & running) != 0);
    }
    bool consumeStop() {
        return stopRequested_.load(std::memory_order_relaxed) && stopRequested_.exchange(false);
    }
    bool runPosted(ModeMask running);
    void takeIncoming();
    void restoreDeferred();
    bool hasRunnablePosted(ModeMask running) const;
    bool fireDueTimers(ModeMask running);
    std::optional<Clock::TimePoint> nextTimerDate(ModeMask running);
    std::optional<Clock::Duration> waitLimit(const RunContext& context);
    bool deadlinePassed(const RunContext& context) const;
    bool waitAndDispatch(const RunContext& context, std::optional<Clock::Duration> limit);
    std::vector<RunLoopWaiter::Descriptor> descriptorsFor(ModeMask running);
    std::shared_ptr<RunLoop::FdCallback> callbackFor(const RunLoopWaiter::Descriptor& ready,
                                                     ModeMask running, FdEvents& events);

    std::atomic<bool> batchesWorkerWakeUps_{false};
    std::atomic<int> ownerThread_{0};
    std::atomic<bool> stopRequested_{false};
    std::atomic<ModeMask> commonModes_{kDefaultBit};

    std::mutex postMutex_;
    std::vector<Posted> incoming_;  // guarded by postMutex_
    bool retired_ = false;          // guarded by postMutex_

    // The loop thread's own queues: tasks taken from incoming_ not yet run, and tasks kept
    // back because they were not posted for the mode the loop ran in.
    std::vector<Posted> ready_;
    std::size_t readyHead_ = 0;  // ready_[readyHead_...] have not run yet
    std::vector<Posted> deferred_;

    std::mutex sourcesMutex_;
    std::vector<TimerEntry> timers_;    // guarded by sourcesMutex_
    std::vector<FdWatch> watches_;      // guarded by sourcesMutex_
    RunLoop::WatchId nextWatchId_ = 1;  // guarded by sourcesMutex_
    std::atomic<std::size_t> timerCount_{0};
    std::atomic<std::size_t> watchCount_{0};

    std::atomic<RunLoopWaiter*> waiter_{nullptr};
    std::vector<std::unique_ptr<RunLoopWaiter>> waiters_;  // guarded by sourcesMutex_
};

namespace {

// Every live loop, so that moving a virtual clock can wake them all.
class LoopRegistry {
public:
    void add(RunLoopState* state) {
        std::lock_guard guard(mutex_);
        states_.push_back(state);
    }
    void remove(RunLoopState* state) {
        std::lock_guard guard(mutex_);
        states_.erase(std::remove(states_.begin(), states_.end(), state), states_.end());
    }
    void wakeAll() {
        std::lock_guard guard(mutex_);
        for (auto* state : states_) {
            state->wake();
        }
    }

private:
    std::mutex mutex_;
    std::vector<RunLoopState*> states_;
};

LoopRegistry& registry() {
    static auto* loops = new LoopRegistry;  // outlives every loop, the main one included
    return *loops;
}

// The calling thread's loop; a loop made here is retired when its thread ends.
struct CurrentLoop {
    std::shared_ptr<RunLoop> loop;
    ~CurrentLoop() {
        if (loop && loop != RunLoop::main()) {
            detail::retireCurrentRunLoop();
        }
    }
};

thread_local CurrentLoop currentLoop;

}  // namespace

RunLoopState::RunLoopState() {
    waiters_.push_back(RunLoopWaiter::createDefault());
    waiter_.store(waiters_.back().get());
    registry().add(this);
}

RunLoopState::~RunLoopState() {
    registry().remove(this);
}

void RunLoopState::post(Task&& task, ModeMask modes) {
    if (!task) {
        return;
    }
    bool wasEmpty = false;
    {
        std::unique_lock guard(postMutex_);
        if (retired_) {
            guard.unlock();
            task = nullptr;  // destroyed outside the lock: it may post in its destructor
            return;
        }
        wasEmpty = incoming_.empty();
        incoming_.push_back({std::move(task), modes});
    }
    if (wasEmpty) {
        wake();
    }
}

namespace {

// Tells a waiting poster that its task ran, or that it was dropped with its loop: the
// signal comes from the destructor of the posted wrapper, so it cannot be forgotten.
struct WaitSlot {
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;
    bool ran = false;
};

struct WaitSignal {
    std::shared_ptr<WaitSlot> slot;
    bool ran = false;
    ~WaitSignal() {
        std::lock_guard guard(slot->mutex);
        slot->done = true;
        slot->ran = ran;
        slot->condition.notify_all();
    }
};

}  // namespace

bool RunLoopState::postAndWait(RunLoop& loop, Task&& task, ModeMask modes) {
    if (!task) {
        return false;
    }
    if (loop.isCurrent()) {
        task();
        return true;
    }
    auto slot = std::make_shared<WaitSlot>();
    auto signal = std::make_shared<WaitSignal>();
    signal->slot = slot;
    post(
        [task = std::move(task), signal = std::move(signal)] {
            task();
            signal->ran = true;
        },
        modes);
    detail::sendHeldWorkerWakeUp();
    std::unique_lock lock(slot->mutex);
    slot->condition.wait(lock, [&] { return slot->done; });
    return slot->ran;
}

void RunLoopState::retire() {
    std::vector<Posted> dropped;
    {
        std::lock_guard guard(postMutex_);
        retired_ = true;
        dropped.swap(incoming_);
    }
    dropped.clear();
    ready_.clear();
    readyHead_ = 0;
    deferred_.clear();
    std::vector<TimerEntry> timers;
    {
        std::lock_guard guard(sourcesMutex_);
        timers.swap(timers_);
        timerCount_.store(0);
    }
}

void RunLoopState::checkCalledOnLoopThread(const char* what) const {
    if (!isCurrent()) {
        std::fprintf(stderr, "core::RunLoop::%s called off the loop's own thread\n", what);
        std::abort();
    }
}

void RunLoopState::takeIncoming() {
    std::lock_guard guard(postMutex_);
    if (incoming_.empty()) {
        return;
    }
    if (readyHead_ == ready_.size()) {
        // The usual case: everything taken before has run, so the batches trade buffers.
        ready_.clear();
        readyHead_ = 0;
        ready_.swap(incoming_);
        return;
    }
    for (auto& posted : incoming_) {
        ready_.push_back(std::move(posted));
    }
    incoming_.clear();
}

void RunLoopState::restoreDeferred() {
    // Tasks kept back are older than any still in ready_, so they go first to keep the order.
    std::vector<Posted> merged = std::move(deferred_);
    deferred_.clear();
    for (std::size_t i = readyHead_; i < ready_.size(); ++i) {
        merged.push_back(std::move(ready_[i]));
    }
    ready_ = std::move(merged);
    readyHead_ = 0;
}

bool RunLoopState::runPosted(ModeMask running) {
    if (!deferred_.empty()) {
        restoreDeferred();
    }
    takeIncoming();
    bool handled = false;
    for (std::size_t budget = ready_.size() - readyHead_; budget > 0 && readyHead_ < ready_.size();
         --budget) {
        Posted posted = std::move(ready_[readyHead_++]);
        if (!matches(posted.modes, running)) {
            deferred_.push_back(std::move(posted));
            continue;
        }
        posted.task();
        handled = true;
        if (stopRequested_.load()) {
            break;
        }
    }
    return handled;
}

bool RunLoopState::hasRunnablePosted(ModeMask running) const {
    if (readyHead_ < ready_.size()) {
        return true;
    }
    return std::any_of(deferred_.begin(), deferred_.end(),
                       [&](const Posted& posted) { return matches(posted.modes, running); });
}

void RunLoopState::addTimer(const std::shared_ptr<RunLoop>& loop,
                            const std::shared_ptr<Timer>& timer, ModeMask modes) {
    if (!timer->attachTo(loop)) {
        std::fprintf(stderr, "core::RunLoop: a timer belongs to one run loop only\n");
        return;
    }
    {
        std::lock_guard guard(sourcesMutex_);
        auto found = std::find_if(timers_.begin(), timers_.end(),
                                  [&](const TimerEntry& entry) { return entry.timer == timer; });
        if (found != timers_.end()) {
            found->modes |= modes;
        } else {
            timers_.push_back({timer, modes});
            timerCount_.store(timers_.size());
        }
    }
    if (!isCurrent()) {
        wake();
    }
}

std::optional<Clock::TimePoint> RunLoopState::nextTimerDate(ModeMask running) {
    if (timerCount_.load() == 0) {
        return std::nullopt;
    }
    std::optional<Clock::TimePoint> next;
    std::lock_guard guard(sourcesMutex_);
    std::erase_if(timers_, [](const TimerEntry& entry) { return !entry.timer->isValid(); });
    timerCount_.store(timers_.size());
    for (const auto& entry : timers_) {
        if (matches(entry.modes, running)) {
            auto date = entry.timer->fireDate();
            if (!next || date < *next) {
                next = date;
            }
        }
    }
    return next;
}

bool RunLoopState::fireDueTimers(ModeMask running) {
    if (timerCount_.load() == 0) {
        return false;
    }
    auto now = Clock::now();
    std::vector<std::pair<Clock::TimePoint, std::shared_ptr<Timer>>> due;
    {
        std::lock_guard guard(sourcesMutex_);
        for (const auto& entry : timers_) {
            auto date = entry.timer->fireDate();
            if (entry.timer->isValid() && matches(entry.modes, running) && date <= now) {
                due.emplace_back(date, entry.timer);
            }
        }
    }
    std::stable_sort(due.begin(), due.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [date, timer] : due) {
        timer->fireFromLoop(now);
    }
    return !due.empty();
}

RunLoop::WatchId RunLoopState::watch(int fd, FdEvents events, RunLoop::FdCallback&& callback,
                                     ModeMask modes) {
    if (fd < 0 || !callback) {
        std::fprintf(
            stderr, "core::RunLoop: refusing to watch descriptor %d: invalid or no callback\n", fd);
        return 0;
    }
    RunLoop::WatchId id = 0;
    {
        std::lock_guard guard(sourcesMutex_);
        id = nextWatchId_++;
        auto shared = std::make_shared<RunLoop::FdCallback>(std::move(callback));
        watches_.push_back({id, fd, events, std::move(shared), modes});
        watchCount_.store(watches_.size());
    }
    if (!isCurrent()) {
        wake();
    }
    return id;
}

bool RunLoopState::update(RunLoop::WatchId id, FdEvents events) {
    {
        std::lock_guard guard(sourcesMutex_);
        auto found = std::find_if(watches_.begin(), watches_.end(),
                                  [&](const FdWatch& watch) { return watch.id == id; });
        if (found == watches_.end()) {
            return false;
        }
        found->events = events;
    }
    if (!isCurrent()) {
        wake();
    }
    return true;
}

void RunLoopState::unwatch(RunLoop::WatchId id) {
    std::shared_ptr<RunLoop::FdCallback> released;
    {
        std::lock_guard guard(sourcesMutex_);
        auto found = std::find_if(watches_.begin(), watches_.end(),
                                  [&](const FdWatch& watch) { return watch.id == id; });
        if (found == watches_.end()) {
            return;
        }
        released = std::move(found->callback);
        watches_.erase(found);
        watchCount_.store(watches_.size());
    }
    if (!isCurrent()) {
        wake();
    }
}

std::vector<RunLoopWaiter::Descriptor> RunLoopState::descriptorsFor(ModeMask running) {
    std::vector<RunLoopWaiter::Descriptor> descriptors;
    if (watchCount_.load() == 0) {
        return descriptors;
    }
    std::lock_guard guard(sourcesMutex_);
    for (const auto& watch : watches_) {
        if (matches(watch.modes, running) && watch.events != FdEvents::None) {
            descriptors.push_back({watch.fd, watch.events});
        }
    }
    return descriptors;
}

std::shared_ptr<RunLoop::FdCallback> RunLoopState::callbackFor(
    const RunLoopWaiter::Descriptor& ready, ModeMask running, FdEvents& events) {
    std::lock_guard guard(sourcesMutex_);
    for (const auto& watch : watches_) {
        if (watch.fd == ready.fd && matches(watch.modes, running)) {
            events = ready.events & (watch.events | FdEvents::Error);
            if (events != FdEvents::None) {
                return watch.callback;
            }
        }
    }
    return nullptr;
}

void RunLoopState::setWaiter(std::unique_ptr<RunLoopWaiter> waiter) {
    if (!waiter) {
        return;
    }
    std::lock_guard guard(sourcesMutex_);
    // Replaced waiters stay alive: another thread may be inside wake() on one right now.
    waiters_.push_back(std::move(waiter));
    waiter_.store(waiters_.back().get());
    waiters_.back()->wake();
}

bool RunLoopState::deadlinePassed(const RunContext& context) const {
    if (context.deadline >= Clock::distantFuture()) {
        return false;  // saves reading the clock on every pass of run()
    }
    auto now = context.clock == RunLoop::DeadlineClock::Real ? Clock::realNow() : Clock::now();
    return now >= context.deadline;
}

std::optional<Clock::Duration> RunLoopState::waitLimit(const RunContext& context) {
    if (hasRunnablePosted(context.bit) || deadlinePassed(context)) {
        return Clock::Duration(0);
    }
    // A virtual clock moves only when a test advances it, which wakes the loop: virtual
    // deadlines set no limit on a real sleep.
    bool virtualTime = Clock::isVirtual();
    std::optional<Clock::Duration> limit;
    if (context.deadline >= Clock::distantFuture()) {
        // no limit from the deadline
    } else if (context.clock == RunLoop::DeadlineClock::Real) {
        limit = context.deadline - Clock::realNow();
    } else if (!virtualTime) {
        limit = context.deadline - Clock::now();
    }
    if (auto next = nextTimerDate(context.bit)) {
        auto untilTimer = *next - Clock::now();
        if (!virtualTime || untilTimer.count() <= 0) {
            limit = limit ? std::min(*limit, untilTimer) : untilTimer;
        }
    }
    if (limit) {
        limit = std::clamp(*limit, Clock::Duration(0), Clock::Duration(kLongestWaitSeconds));
    }
    return limit;
}

bool RunLoopState::waitAndDispatch(const RunContext& context,
                                   std::optional<Clock::Duration> limit) {
    auto descriptors = descriptorsFor(context.bit);
    std::vector<RunLoopWaiter::Descriptor> ready;
    if (!limit || limit->count() > 0) {
        detail::sendHeldWorkerWakeUp();  // the pass is over; the loop may sleep now
    }
    waiter_.load()->wait(descriptors, limit, ready);
    bool handled = false;
    for (const auto& descriptor : ready) {
        FdEvents events = FdEvents::None;
        // Looked up again for each call: an earlier callback may have unwatched this one.
        if (auto callback = callbackFor(descriptor, context.bit, events)) {
            (*callback)(descriptor.fd, events);
            handled = true;
        }
    }
    return handled;
}

RunLoop::RunResult RunLoopState::runOnce(const RunContext& context) {
    std::optional<detail::WorkerWakeUpHold> hold;
    if (batchesWorkerWakeUps_.load(std::memory_order_relaxed)) {
        hold.emplace();
    }
    for (;;) {
        if (consumeStop()) {
            return RunLoop::RunResult::Stopped;
        }
        bool handled = runPosted(context.bit);
        handled = fireDueTimers(context.bit) || handled;
        auto limit = handled ? Clock::Duration(0) : waitLimit(context);
        handled = waitAndDispatch(context, limit) || handled;
        if (handled) {
            return RunLoop::RunResult::Handled;
        }
        if (deadlinePassed(context)) {
            return RunLoop::RunResult::TimedOut;
        }
    }
}

bool RunLoopState::runUntil(const RunLoop::Predicate& done, const RunContext& context) {
    while (!(done && done())) {
        auto result = runOnce(context);
        if (result != RunLoop::RunResult::Handled) {
            return done && done();
        }
    }
    return true;
}

namespace {

// Makes the running mode visible through currentMode() for the length of a run.
class ModeScope {
public:
    ModeScope(const std::string*& slot, const std::string& mode) : slot_(slot), saved_(slot) {
        slot_ = mode == RunLoop::kCommonModes ? &RunLoop::kDefaultMode : internedName(mode);
    }
    ~ModeScope() { slot_ = saved_; }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    const std::string*& slot_;
    const std::string* saved_;
};

}  // namespace

// RunLoop

RunLoop::RunLoop() : state_(std::make_unique<RunLoopState>()) {}

RunLoop::~RunLoop() = default;

std::shared_ptr<RunLoop> RunLoop::main() {
    static auto* loop = [] {
        auto* made = new std::shared_ptr<RunLoop>(RunLoopState::make());
        RunLoopState::of(**made).bindTo(detail::mainThreadId());
        return made;
    }();
    return *loop;
}

std::shared_ptr<RunLoop> RunLoop::current() {
    if (!currentLoop.loop) {
        if (detail::currentThreadId() == detail::mainThreadId()) {
            currentLoop.loop = main();
        } else {
            currentLoop.loop = RunLoopState::make();
            RunLoopState::of(*currentLoop.loop).bindToCallingThread();
        }
    }
    return currentLoop.loop;
}

void RunLoop::post(Task task, const std::string& mode) {
    state_->post(std::move(task), modeBit(mode));
}

void RunLoop::post(Task task, const std::vector<std::string>& modes) {
    state_->post(std::move(task), modeMask(modes));
}

bool RunLoop::postAndWait(Task task, const std::string& mode) {
    return state_->postAndWait(*this, std::move(task), modeBit(mode));
}

bool RunLoop::postAndWait(Task task, const std::vector<std::string>& modes) {
    return state_->postAndWait(*this, std::move(task), modeMask(modes));
}

void RunLoop::run() {
    state_->checkCalledOnLoopThread("run");
    ModeScope scope(state_->currentMode_, kDefaultMode);
    state_->runUntil(nullptr, {kDefaultBit, Clock::distantFuture(), DeadlineClock::Clock});
}

void RunLoop::runUntil(Clock::TimePoint deadline) {
    state_->checkCalledOnLoopThread("runUntil");
    ModeScope scope(state_->currentMode_, kDefaultMode);
    state_->runUntil(nullptr, {kDefaultBit, deadline, DeadlineClock::Clock});
}

bool RunLoop::runUntil(const Predicate& done, Clock::TimePoint deadline, DeadlineClock clock) {
    state_->checkCalledOnLoopThread("runUntil");
    ModeScope scope(state_->currentMode_, kDefaultMode);
    return state_->runUntil(done, {kDefaultBit, deadline, clock});
}

RunLoop::RunResult RunLoop::runInMode(const std::string& mode, Clock::TimePoint deadline) {
    state_->checkCalledOnLoopThread("runInMode");
    ModeScope scope(state_->currentMode_, mode);
    return state_->runOnce({runningBit(mode), deadline, DeadlineClock::Clock});
}

void RunLoop::stop() {
    state_->stop();
}

bool RunLoop::isCurrent() const {
    return state_->isCurrent();
}

std::string RunLoop::currentMode() const {
    return isCurrent() && state_->currentMode_ ? *state_->currentMode_ : std::string();
}

void RunLoop::addCommonMode(const std::string& mode) {
    state_->addCommonMode(runningBit(mode));
}

void RunLoop::addTimer(const std::shared_ptr<Timer>& timer, const std::string& mode) {
    if (!timer || !timer->isValid()) {
        return;
    }
    state_->addTimer(shared_from_this(), timer, modeBit(mode));
}

RunLoop::WatchId RunLoop::watchFileDescriptor(int fd, FdEvents events, FdCallback callback,
                                              const std::string& mode) {
    return state_->watch(fd, events, std::move(callback), modeBit(mode));
}

bool RunLoop::updateFileDescriptor(WatchId id, FdEvents events) {
    return state_->update(id, events);
}

void RunLoop::unwatchFileDescriptor(WatchId id) {
    state_->unwatch(id);
}

void RunLoop::setWaiter(std::unique_ptr<RunLoopWaiter> waiter) {
    state_->setWaiter(std::move(waiter));
}

void RunLoop::setBatchesWorkerWakeUps(bool batches) {
    state_->setBatchesWorkerWakeUps(batches);
}

void RunLoop::wakeUp() {
    state_->wake();
}

namespace detail {

std::shared_ptr<RunLoop> makeRunLoop() {
    return RunLoopState::make();
}

void adoptRunLoop(const std::shared_ptr<RunLoop>& loop) {
    RunLoopState::of(*loop).bindToCallingThread();
    currentLoop.loop = loop;
}

void retireCurrentRunLoop() {
    auto loop = std::move(currentLoop.loop);
    if (loop && loop != RunLoop::main()) {
        RunLoopState::of(*loop).retire();
    }
}

void wakeAllRunLoops() {
    registry().wakeAll();
}

}  // namespace detail

}  // namespace core
