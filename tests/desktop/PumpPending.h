#pragma once

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

}  // namespace desktop_testing
