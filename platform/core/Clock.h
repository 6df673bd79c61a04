#pragma once

#include <chrono>

namespace core {

// The time that run loops, timers and animations read. It is the monotonic clock of the
// machine unless a VirtualClock is installed, in which case time moves only when a test
// advances it. Times are double seconds, the unit the app speaks (1.5, 5.0, 0.17).
class Clock {
public:
    using Duration = std::chrono::duration<double>;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    // The virtual time when a VirtualClock is installed, the monotonic time otherwise.
    static TimePoint now();

    // Always the monotonic time: for watchdogs and for waits that block a thread.
    static TimePoint realNow();

    // Later than any time a program reaches: "no deadline".
    static TimePoint distantFuture();

    static bool isVirtual();

    static TimePoint after(double seconds) { return now() + Duration(seconds); }
};

}  // namespace core
