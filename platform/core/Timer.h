#pragma once

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/core/Clock.h"

namespace core {

class RunLoop;

// Calls its action on a run loop's thread after an interval, once or repeatedly, reading
// time from Clock. A repeating timer keeps its schedule: the next fire date is the previous
// one plus the interval, and fire dates missed while the loop was busy are skipped, not
// caught up. The loop holds the timer until it is invalidated.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    enum class Repeats { No, Yes };
    using Action = std::function<void(Timer&)>;

    // Intervals below 0.1 ms (and NaN) count as 0.1 ms, so a repeating timer cannot spin.
    // The first fire date is the creation time plus the interval.
    static std::shared_ptr<Timer> create(double interval, Repeats repeats, Action action,
                                         std::any userInfo = {});
    // Creates the timer and adds it to the current run loop in the default mode.
    static std::shared_ptr<Timer> scheduled(double interval, Repeats repeats, Action action,
                                            std::any userInfo = {});

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Runs the action now on the calling thread. A repeating timer keeps its schedule; a
    // one-shot timer is invalidated, as its one action has run. Nothing if invalid.
    void fire();
    // Stops the timer for good and releases its action; safe from inside the action and from
    // any thread.
    void invalidate();
    bool isValid() const { return valid_.load(); }

    const std::any& userInfo() const { return userInfo_; }
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_ == Repeats::Yes; }
    Clock::TimePoint fireDate() const;

private:
    friend class RunLoopState;
    Timer(double interval, Repeats repeats, Action action, std::any userInfo);

    // Called by the loop when the fire date has come; returns whether it stays scheduled.
    bool fireFromLoop(Clock::TimePoint now);
    void runAction();
    bool attachTo(const std::shared_ptr<RunLoop>& loop);

    const double interval_;
    const Repeats repeats_;
    const std::any userInfo_;
    std::atomic<bool> valid_{true};
    mutable std::mutex mutex_;
    std::shared_ptr<const Action> action_;  // guarded by mutex_; null once invalid
    Clock::TimePoint fireDate_;             // guarded by mutex_
    std::weak_ptr<RunLoop> loop_;           // guarded by mutex_
};

}  // namespace core
