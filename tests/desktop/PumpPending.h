#pragma once

#include <algorithm>
#include <functional>

#include "platform/core/RunLoop.h"
#include "platform/core/VirtualClock.h"

namespace desktop_testing {

// Moves the virtual clock on and runs what became due on this thread's loop (bounded, so a
// task that posts itself again cannot hold the test).
inline void advanceAndPump(core::VirtualClock& clock, double seconds) {
    clock.advance(seconds);
    auto loop = core::RunLoop::current();
    for (int pass = 0; pass < 10000; ++pass) {
        if (loop->runInMode(core::RunLoop::kDefaultMode, core::Clock::TimePoint{}) !=
            core::RunLoop::RunResult::Handled) {
            return;
        }
    }
}

// Runs the main loop in short real-time slices (so that a window's events are read) until
// `done` holds; false when `seconds` pass first.
inline bool pumpMainLoopUntil(const std::function<bool()>& done, double seconds) {
    auto deadline = core::Clock::realNow() + core::Clock::Duration(seconds);
    auto loop = core::RunLoop::main();
    while (!done()) {
        if (core::Clock::realNow() >= deadline) {
            return false;
        }
        auto slice = std::min(deadline, core::Clock::realNow() + core::Clock::Duration(0.02));
        loop->runUntil(done, slice, core::RunLoop::DeadlineClock::Real);
    }
    return true;
}

}  // namespace desktop_testing
