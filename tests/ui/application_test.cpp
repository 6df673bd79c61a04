#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/core/Thread.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "tests/support/RunLoopTesting.h"

namespace {

using ::testing::ElementsAre;

class RecordingDelegate : public ui::ApplicationDelegate {
public:
    bool didFinishLaunchingWithOptions(ui::Application& application,
                                       const LaunchOptions&) override {
        calls.push_back("launch");
        window = ui::Window::create(ui::Screen::main().bounds());
        window->makeKeyAndVisible();
        return application.keyWindow() == window;
    }
    void applicationWillResignActive(ui::Application&) override { calls.push_back("resign"); }
    void applicationDidEnterBackground(ui::Application&) override { calls.push_back("background"); }
    void applicationWillEnterForeground(ui::Application&) override {
        calls.push_back("foreground");
    }
    void applicationDidBecomeActive(ui::Application&) override { calls.push_back("active"); }
    void applicationWillTerminate(ui::Application&) override { calls.push_back("terminate"); }

    std::vector<std::string> calls;
    std::shared_ptr<ui::Window> window;
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { application->resetForTesting(); }
    void TearDown() override { application->resetForTesting(); }

    std::shared_ptr<ui::Application> application = ui::Application::shared();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(ApplicationTest, LifeCycleMovesCallTheDelegateInOrderAndOnlyFromTheRightState) {
    ASSERT_TRUE(application->launch(delegate));
    EXPECT_FALSE(application->launch(delegate)) << "an app launches once";
    EXPECT_EQ(application->applicationState(), ui::ApplicationState::Active);
    application->enterBackground();
    application->enterBackground();
    application->enterForeground();
    application->becomeActive();
    application->terminate();
    EXPECT_THAT(delegate->calls, ElementsAre("launch", "active", "resign", "background",
                                             "foreground", "active", "terminate"));
    EXPECT_EQ(application->keyWindow(), delegate->window);
}

TEST_F(ApplicationTest, BackgroundTasksBeginOnAnyThreadAndExpireWhenTheBackgroundTimeRunsOut) {
    core::testing::ScopedVirtualClock clock;
    ASSERT_TRUE(application->launch(delegate));
    int expired = 0;
    ui::BackgroundTaskIdentifier kept = ui::BackgroundTaskInvalid;
    auto thread =
        core::Thread::create([&] { kept = application->beginBackgroundTask([&] { ++expired; }); });
    thread->start();
    ASSERT_TRUE(core::testing::pumpUntil([&] { return thread->isFinished(); }));
    auto ended = application->beginBackgroundTask([&] { ++expired; });
    EXPECT_NE(kept, ui::BackgroundTaskInvalid);
    EXPECT_NE(kept, ended);
    application->endBackgroundTask(ended);
    application->endBackgroundTask(ended);  // ending twice is harmless

    application->enterBackground();
    clock.advanceAndPump(ui::Application::kBackgroundTimeLimit - 1);
    EXPECT_EQ(expired, 0);
    clock.advanceAndPump(2);
    EXPECT_EQ(expired, 1);
    EXPECT_EQ(application->backgroundTaskCount(), 0u)
        << "expired tasks end even if the handler forgets";
}

TEST_F(ApplicationTest, ScreenSizeComesFromSettings) {
    EXPECT_TRUE(ui::Screen::configure("320x480@2"));
    EXPECT_EQ(ui::Screen::main().bounds(), ui::Rect(0, 0, 320, 480));
    EXPECT_EQ(ui::Screen::main().scale(), 2.0);
    EXPECT_TRUE(ui::Screen::configure("768x1024"));
    EXPECT_EQ(ui::Screen::main().scale(), 1.0);
    for (const char* bad : {"", "320", "320x", "320x568@", "x568@2", "320x568@2x", "-1x5@1"}) {
        EXPECT_FALSE(ui::Screen::configure(bad)) << bad;
    }
    EXPECT_EQ(ui::Screen::main().bounds().height(), 1024) << "a bad setting changes nothing";
    ui::Screen::configure(ui::Screen::kPhoneTall, 2);
}

}  // namespace
