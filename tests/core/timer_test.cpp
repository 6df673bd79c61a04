#include <cmath>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::ScopedVirtualClock;

// Seconds since the clock was installed, rounded to a millisecond, for readable schedules.
double since(const ScopedVirtualClock& clock, Clock::TimePoint start) {
    return std::round((clock.now() - start).count() * 1000) / 1000;
}

TEST(TimerSchedule, OneShotFiresOnceAtItsDateAndIsThenInvalid) {
    ScopedVirtualClock clock;
    int fired = 0;
    auto timer = Timer::scheduled(5.0, Timer::Repeats::No, [&](Timer&) { ++fired; });
    clock.advanceAndPump(4.999);
    EXPECT_EQ(fired, 0);
    clock.advanceAndPump(0.001);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
    clock.advanceAndPump(10.0);
    EXPECT_EQ(fired, 1);

    // Fired by hand before its date, a one-shot runs once and is spent.
    auto early = Timer::scheduled(0.17, Timer::Repeats::No, [&](Timer&) { ++fired; });
    early->fire();
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(early->isValid());
    clock.advanceAndPump(1.0);
    EXPECT_EQ(fired, 2);
}

TEST(TimerSchedule, RepeatingTimerKeepsItsGridAndSkipsMissedDates) {
    ScopedVirtualClock clock;
    auto start = clock.now();
    std::vector<double> firedAt;
    auto timer = Timer::scheduled(1.5, Timer::Repeats::Yes,
                                  [&](Timer&) { firedAt.push_back(since(clock, start)); });
    // Late looks at the loop must not push later dates back.
    clock.advanceAndPump(1.7);
    clock.advanceAndPump(1.4);   // 3.1
    clock.advanceAndPump(1.45);  // 4.55
    EXPECT_THAT(firedAt, ::testing::ElementsAre(1.7, 3.1, 4.55));
    EXPECT_NEAR((timer->fireDate() - start).count(), 6.0, 1e-9);
    // 6.0 and 7.5 pass while the loop is away: one firing stands for both.
    clock.advanceAndPump(4.0);  // 8.55
    EXPECT_NEAR((timer->fireDate() - start).count(), 9.0, 1e-9);
    clock.advanceAndPump(0.5);
    EXPECT_THAT(firedAt, ::testing::ElementsAre(1.7, 3.1, 4.55, 8.55, 9.05));
    timer->invalidate();
}

TEST(TimerSchedule, FireRunsNowAndLeavesARepeatingScheduleAlone) {
    ScopedVirtualClock clock;
    auto start = clock.now();
    std::vector<double> firedAt;
    auto timer = Timer::scheduled(1.5, Timer::Repeats::Yes,
                                  [&](Timer&) { firedAt.push_back(since(clock, start)); });
    timer->fire();
    EXPECT_THAT(firedAt, ::testing::ElementsAre(0.0));
    clock.advanceAndPump(1.0);
    timer->fire();
    clock.advanceAndPump(0.5);
    EXPECT_THAT(firedAt, ::testing::ElementsAre(0.0, 1.0, 1.5));
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
}

TEST(TimerInvalidation, ReleasesTheActionAndWhatItHolds) {
    ScopedVirtualClock clock;
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    auto timer = Timer::scheduled(1.0, Timer::Repeats::Yes, [held](Timer&) {});
    held.reset();
    EXPECT_FALSE(watch.expired());
    timer->invalidate();
    EXPECT_TRUE(watch.expired());
    timer->fire();  // an invalid timer does nothing
}

TEST(TimerInvalidation, FromInsideTheActionStopsItEvenAsTheLastReferenceGoes) {
    ScopedVirtualClock clock;
    int fired = 0;
    std::shared_ptr<Timer> timer;
    timer = Timer::scheduled(1.0, Timer::Repeats::Yes, [&](Timer& self) {
        if (++fired == 2) {
            self.invalidate();
            timer.reset();
        }
    });
    for (int i = 0; i < 5; ++i) {
        clock.advanceAndPump(1.0);
    }
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(timer, nullptr);
}

TEST(TimerDetails, BadIntervalsAreRaisedSoRepeatingCannotSpinAndNoActionIsInvalid) {
    for (double interval : {0.0, -1.0, std::nan("")}) {
        EXPECT_GT(Timer::create(interval, Timer::Repeats::Yes, [](Timer&) {})->timeInterval(), 0.0)
            << interval;
    }
    EXPECT_FALSE(Timer::create(1.0, Timer::Repeats::No, nullptr)->isValid());
}

TEST(TimerModes, FiresOnlyInTheModeItWasAddedFor) {
    ScopedVirtualClock clock;
    auto loop = RunLoop::current();
    int fired = 0;
    auto timer = Timer::create(1.0, Timer::Repeats::No, [&](Timer&) { ++fired; });
    loop->addTimer(timer, "PanelMode");
    clock.advanceAndPump(2.0);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(loop->runInMode("PanelMode", Clock::TimePoint{}), RunLoop::RunResult::Handled);
    EXPECT_EQ(fired, 1);
}

TEST(TimerOrder, DueTimersFireInDateOrder) {
    ScopedVirtualClock clock;
    std::vector<int> order;
    auto late = Timer::scheduled(2.0, Timer::Repeats::No, [&](Timer&) { order.push_back(2); });
    auto early = Timer::scheduled(1.0, Timer::Repeats::No, [&](Timer&) { order.push_back(1); });
    clock.advanceAndPump(3.0);
    EXPECT_THAT(order, ::testing::ElementsAre(1, 2));
}

TEST(TimerOrder, RunUntilWithAVirtualDeadlineReturnsWhenTheClockGetsThere) {
    ScopedVirtualClock clock;
    auto loop = RunLoop::current();
    int fired = 0;
    auto timer = Timer::scheduled(1.0, Timer::Repeats::Yes, [&](Timer&) { ++fired; });
    auto deadline = Clock::after(2.5);
    // Advancing from inside the loop stands in for a test driver on another thread.
    loop->post([&] { clock.advance(3.0); });
    loop->runUntil(deadline);
    EXPECT_EQ(fired, 1);
    timer->invalidate();
}

}  // namespace
}  // namespace core
