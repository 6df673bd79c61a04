#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "net/NetworkingErrors.h"
#include "net/ui/NetworkActivityIndicatorManager.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "tests/support/RunLoopTesting.h"

namespace net {
namespace {

using core::testing::pumpPending;
using core::testing::ScopedVirtualClock;

void post(std::string_view name) {
    core::NotificationCenter::defaultCenter()->post(std::string(name));
}
void operationStarted() {
    post(URLConnectionOperationStartNotification);
}
void operationFinished() {
    post(URLConnectionOperationFinishNotification);
}

bool indicatorOn() {
    return ui::Application::shared()->isNetworkActivityIndicatorVisible();
}

// The manager is one per process: every test starts it from a known state.
class IndicatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_->setEnabled(false);
        manager_->setActivityCount(0);
        ui::Application::shared()->setNetworkActivityIndicatorVisible(false);
        clock_.advanceAndPump(1.0);
    }
    void TearDown() override { manager_->setEnabled(false); }

    std::shared_ptr<NetworkActivityIndicatorManager> manager_ =
        NetworkActivityIndicatorManager::sharedManager();
    ScopedVirtualClock clock_;
};

TEST_F(IndicatorTest, WhileDisabledItCountsButLeavesTheIndicatorAlone) {
    ui::Application::shared()->setNetworkActivityIndicatorVisible(true);
    operationStarted();
    operationStarted();
    operationFinished();
    EXPECT_EQ(manager_->activityCount(), 1);
    operationFinished();
    clock_.advanceAndPump(1.0);
    EXPECT_TRUE(indicatorOn());
    EXPECT_EQ(manager_->activityCount(), 0);
}

TEST_F(IndicatorTest, OnAtOnceAndOffAShortWhileAfterTheLastFinish) {
    manager_->setEnabled(true);
    operationStarted();
    operationStarted();
    pumpPending();
    EXPECT_TRUE(indicatorOn());
    operationFinished();
    clock_.advanceAndPump(1.0);
    EXPECT_TRUE(indicatorOn());  // one still running
    operationFinished();
    clock_.advanceAndPump(0.16);
    EXPECT_TRUE(indicatorOn());
    clock_.advanceAndPump(0.02);
    EXPECT_FALSE(indicatorOn());
}

TEST_F(IndicatorTest, AStartWithinTheDelayKeepsItOnAndFinishesAtZeroStayAtZero) {
    manager_->setEnabled(true);
    operationStarted();
    operationFinished();
    clock_.advanceAndPump(0.1);
    operationStarted();
    clock_.advanceAndPump(0.5);  // the pending hide fires and sees a running operation
    EXPECT_TRUE(indicatorOn());
    EXPECT_EQ(manager_->activityCount(), 1);

    operationFinished();
    operationFinished();  // an operation that started before anyone counted
    EXPECT_EQ(manager_->activityCount(), 0);
    clock_.advanceAndPump(0.1);
    EXPECT_TRUE(indicatorOn());  // the second finish restarted the wait
    clock_.advanceAndPump(0.1);
    EXPECT_FALSE(indicatorOn());
}

TEST_F(IndicatorTest, FinishesOnManyThreadsLeaveOneLiveTimerAndObserversHearTheCount) {
    int announcements = 0;
    auto token =
        manager_->addObserver(NetworkActivityIndicatorManager::kIsNetworkActivityIndicatorVisible,
                              [&announcements](const std::string&, core::Observable::Phase phase) {
                                  if (phase == core::Observable::Phase::DidChange) {
                                      ++announcements;
                                  }
                              });
    manager_->setEnabled(true);
    constexpr int kThreads = 8;
    for (int i = 0; i < kThreads; ++i) {
        operationStarted();
    }
    EXPECT_EQ(announcements, kThreads);
    token.remove();
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<core::Timer>> timers(kThreads);
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([this, &timers, i] {
            operationFinished();
            timers[i] = manager_->activityIndicatorVisibilityTimer();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(manager_->activityCount(), 0);
    int live = 0;
    for (const auto& timer : std::set(timers.begin(), timers.end())) {
        live += timer && timer->isValid() ? 1 : 0;
    }
    EXPECT_EQ(live, 1);
    pumpPending();
    clock_.advanceAndPump(0.2);
    EXPECT_FALSE(indicatorOn());
}

}  // namespace
}  // namespace net
