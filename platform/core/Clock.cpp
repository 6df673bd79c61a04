#include "platform/core/Clock.h"

#include "platform/core/ClockPrivate.h"

namespace core {

namespace detail {

VirtualTime& virtualTime() {
    static VirtualTime time;
    return time;
}

}  // namespace detail

Clock::TimePoint Clock::now() {
    auto& virtualTime = detail::virtualTime();
    if (virtualTime.installed.load(std::memory_order_acquire)) {
        return TimePoint(Duration(virtualTime.seconds.load(std::memory_order_acquire)));
    }
    return realNow();
}

Clock::TimePoint Clock::realNow() {
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

Clock::TimePoint Clock::distantFuture() {
    // Far enough for any program, small enough that adding a few intervals stays finite.
    return TimePoint(Duration(1e15));
}

bool Clock::isVirtual() {
    return detail::virtualTime().installed.load(std::memory_order_acquire);
}

}  // namespace core
