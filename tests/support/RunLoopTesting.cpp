#include "tests/support/RunLoopTesting.h"

#include "platform/core/RunLoop.h"

namespace core::testing {

namespace {

// Enough passes to settle any realistic chain of posts and timers, few enough that a task
// re-posting itself for ever still ends the pump.
constexpr int kMaxPendingPasses = 10000;

}  // namespace

bool pumpUntil(const std::function<bool()>& done, double realTimeout) {
    auto deadline = Clock::realNow() + Clock::Duration(realTimeout);
    return RunLoop::current()->runUntil(done, deadline, RunLoop::DeadlineClock::Real);
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
