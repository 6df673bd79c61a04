#include <atomic>

#include <gtest/gtest.h>

#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"
#include "platform/core/Timer.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::pumpUntil;
using testing::ScopedVirtualClock;

TEST(TimerCrossThread, TimerAddedFromAnotherThreadFiresOnTheTargetLoop) {
    ScopedVirtualClock clock;
    auto main = RunLoop::main();
    bool firedOnMain = false;
    std::atomic<bool> added{false};
    std::shared_ptr<Timer> timer;
    Thread::detach([&] {
        timer = Timer::create(0.17, Timer::Repeats::No,
                              [&](Timer&) { firedOnMain = Thread::isMainThread(); });
        main->addTimer(timer, RunLoop::kCommonModes);
        added.store(true);
    });
    ASSERT_TRUE(pumpUntil([&] { return added.load(); }));
    clock.advance(0.17);
    EXPECT_TRUE(pumpUntil([&] { return firedOnMain; }));
}

TEST(TimerCrossThread, AdvancingTheClockWakesALoopSleepingOnAnotherThread) {
    ScopedVirtualClock clock;
    std::atomic<int> fired{0};
    std::atomic<bool> scheduled{false};
    std::atomic<bool> quit{false};
    auto thread = Thread::create([&] {
        auto timer = Timer::scheduled(5.0, Timer::Repeats::No, [&](Timer&) { fired.fetch_add(1); });
        scheduled.store(true);
        // No deadline: only the clock's advance can wake this loop for its timer.
        RunLoop::current()->runUntil([&] { return quit.load(); }, Clock::distantFuture(),
                                     RunLoop::DeadlineClock::Real);
    });
    thread->start();
    ASSERT_TRUE(pumpUntil([&] { return scheduled.load(); }));
    clock.advance(5.0);
    EXPECT_TRUE(pumpUntil([&] { return fired.load() == 1; }));
    thread->runLoop()->post([&] { quit.store(true); });
    EXPECT_TRUE(pumpUntil([&] { return thread->isFinished(); }));
}

TEST(TimerCrossThread, InvalidateFromAnotherThreadStopsARepeatingTimer) {
    ScopedVirtualClock clock;
    std::atomic<int> fired{0};
    auto timer = Timer::scheduled(1.0, Timer::Repeats::Yes, [&](Timer&) { fired.fetch_add(1); });
    clock.advanceAndPump(1.0);
    ASSERT_EQ(fired.load(), 1);
    std::atomic<bool> done{false};
    Thread::detach([&] {
        timer->invalidate();
        done.store(true);
    });
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
    clock.advanceAndPump(3.0);
    EXPECT_EQ(fired.load(), 1);
}

}  // namespace
}  // namespace core
