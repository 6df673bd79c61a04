#include "tests/support/RunLoopTesting.h"

#include <algorithm>

#include "platform/core/RunLoop.h"

namespace core::testing {

namespace {

// Enough passes to settle any realistic chain of posts and timers, few enough that a task
// re-posting itself for ever still ends the pump.
constexpr int kMaxPendingPasses = 10000;
constexpr double kRecheckSeconds = 0.002;

}  // namespace

bool pumpUntil(const std::function<bool()>& done, double realTimeout) {
    auto loop = RunLoop::current();
    auto deadline = Clock::realNow() + Clock::Duration(realTimeout);
    for (;;) {
        // The condition may be set by another thread without a post that wakes this loop,
        // so it is looked at again after a short sleep at the latest.
        auto slice = std::min(deadline, Clock::realNow() + Clock::Duration(kRecheckSeconds));
        if (loop->runUntil(done, slice, RunLoop::DeadlineClock::Real)) {
            return true;
        }
        if (Clock::realNow() >= deadline) {
            return false;
        }
    }
}

void pumpPending() {
    auto loop = RunLoop::current();
    for (int pass = 0; pass < kMaxPendingPasses; ++pass) {
        // A deadline already reached: the loop handles what is ready and never sleeps.
        auto result = loop->runInMode(RunLoop::kDefaultMode, Clock::TimePoint{});
        if (result != RunLoop::RunResult::Handled) {
            return;
        }
    }
}

void ScopedVirtualClock::advanceAndPump(double seconds) {
    clock_.advance(seconds);
    pumpPending();
}

}  // namespace core::testing
