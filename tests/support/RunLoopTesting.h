#pragma once

#include <functional>

#include "platform/core/VirtualClock.h"

namespace core::testing {

// How long a test waits for something that should happen at once before it gives up.
inline constexpr double kWatchdogSeconds = 10.0;

// Runs the calling thread's run loop (default mode) until `done` holds, looking at it after
// every event and at least every few milliseconds (it may depend on other threads); false when
// `realTimeout` seconds of real time pass first, so the test fails instead of hanging. Works
// the same with a virtual clock installed.
bool pumpUntil(const std::function<bool()>& done, double realTimeout = kWatchdogSeconds);

// Runs the calling thread's run loop until nothing more is ready right now: posted tasks,
// due timers and ready descriptors. Bounded, so a task that re-posts itself cannot hang it.
void pumpPending();

// A virtual clock for the length of a test.
class ScopedVirtualClock {
public:
    ScopedVirtualClock() = default;
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;

    void advance(double seconds) { clock_.advance(seconds); }
    // Advances, then lets the calling thread's loop fire what became due.
    void advanceAndPump(double seconds);
    Clock::TimePoint now() const { return clock_.now(); }

private:
    VirtualClock clock_;
};

}  // namespace core::testing
