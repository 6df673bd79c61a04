#include "platform/core/Timer.h"

#include <cmath>

#include "platform/core/RunLoop.h"

namespace core {

namespace {

constexpr double kShortestInterval = 0.0001;

double sanitizedInterval(double interval) {
    return interval >= kShortestInterval ? interval : kShortestInterval;  // NaN fails too
}

}  // namespace

Timer::Timer(double interval, Repeats repeats, Action action, std::any userInfo)
    : interval_(sanitizedInterval(interval)),
      repeats_(repeats),
      userInfo_(std::move(userInfo)),
      action_(action ? std::make_shared<const Action>(std::move(action)) : nullptr),
      fireDate_(Clock::now() + Clock::Duration(interval_)) {
    if (!action_) {
        valid_.store(false);  // nothing to run: born invalid rather than firing into a void
    }
}

std::shared_ptr<Timer> Timer::create(double interval, Repeats repeats, Action action,
                                     std::any userInfo) {
    return std::shared_ptr<Timer>(
        new Timer(interval, repeats, std::move(action), std::move(userInfo)));
}

std::shared_ptr<Timer> Timer::scheduled(double interval, Repeats repeats, Action action,
                                        std::any userInfo) {
    auto timer = create(interval, repeats, std::move(action), std::move(userInfo));
    RunLoop::current()->addTimer(timer, RunLoop::kDefaultMode);
    return timer;
}

Clock::TimePoint Timer::fireDate() const {
    std::lock_guard guard(mutex_);
    return fireDate_;
}

void Timer::fire() {
    std::shared_ptr<const Action> action;
    {
        std::lock_guard guard(mutex_);
        action = action_;
    }
    if (!action || !isValid()) {
        return;
    }
    auto protectedThis = shared_from_this();
    (*action)(*this);
    if (repeats_ == Repeats::No) {
        invalidate();
    }
}

void Timer::invalidate() {
    if (!valid_.exchange(false)) {
        return;
    }
    std::shared_ptr<const Action> released;
    {
        std::lock_guard guard(mutex_);
        released = std::move(action_);
    }
    // The loop drops its reference the next time it looks at its timers.
}

bool Timer::fireFromLoop(Clock::TimePoint now) {
    std::shared_ptr<const Action> action;
    {
        std::lock_guard guard(mutex_);
        if (!valid_.load() || !action_ || fireDate_ > now) {
            return valid_.load();
        }
        action = action_;
        if (repeats_ == Repeats::Yes) {
            // The next date stays on the original grid; dates already missed are skipped.
            Clock::Duration interval(interval_);
            double missed = std::floor((now - fireDate_) / interval);
            fireDate_ += interval * (missed + 1);
            while (fireDate_ <= now) {
                fireDate_ += interval;
            }
        }
    }
    auto protectedThis = shared_from_this();
    (*action)(*this);
    if (repeats_ == Repeats::No) {
        invalidate();
    }
    return isValid();
}

bool Timer::attachTo(const std::shared_ptr<RunLoop>& loop) {
    std::lock_guard guard(mutex_);
    auto attached = loop_.lock();
    if (attached && attached != loop) {
        return false;
    }
    loop_ = loop;
    return true;
}

}  // namespace core
