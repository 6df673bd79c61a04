#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/ViewTransition.h"
#include "platform/ui/Window.h"
#include "tests/support/RunLoopTesting.h"

namespace {

using ::testing::ElementsAre;

// A controller that writes each life-cycle call into a shared log as "<name>.<call>".
class RecordingController : public ui::ViewController {
public:
    using Log = std::shared_ptr<std::vector<std::string>>;

    static std::shared_ptr<RecordingController> create(std::string name, Log log) {
        return std::shared_ptr<RecordingController>(
            new RecordingController(std::move(name), std::move(log)));
    }

    void viewDidLoad() override { record("didLoad"); }
    void viewWillAppear(ui::Animated) override { record("willAppear"); }
    void viewDidAppear(ui::Animated) override { record("didAppear"); }
    void viewWillDisappear(ui::Animated) override { record("willDisappear"); }
    void viewDidDisappear(ui::Animated) override { record("didDisappear"); }
    void didReceiveMemoryWarning() override { record("memoryWarning"); }

private:
    RecordingController(std::string name, Log log)
        : ui::ViewController({}), name_(std::move(name)), log_(std::move(log)) {}
    void record(const std::string& call) { log_->push_back(name_ + "." + call); }

    std::string name_;
    Log log_;
};

// Takes the entries logged so far, leaving the log empty.
std::vector<std::string> takeLog(const RecordingController::Log& log) {
    std::vector<std::string> entries;
    entries.swap(*log);
    return entries;
}

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        root = RecordingController::create("root", log);
        navigation = ui::NavigationController::create(root);
        window = ui::Window::create(ui::Rect(0, 0, 320, 568));
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
    }

    void TearDown() override { ui::Application::shared()->resetForTesting(); }

    std::shared_ptr<RecordingController> make(const std::string& name) {
        return RecordingController::create(name, log);
    }

    core::testing::ScopedVirtualClock clock;
    RecordingController::Log log = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<RecordingController> root;
    std::shared_ptr<ui::NavigationController> navigation;
    std::shared_ptr<ui::Window> window;
};

TEST_F(NavigationTest, PushAndPopWithoutAnimationCallTheLifeCycleInOrder) {
    EXPECT_THAT(takeLog(log), ElementsAre("root.didLoad", "root.willAppear", "root.didAppear"))
        << "the root appears when the window is shown";
    auto second = make("second");
    navigation->pushViewController(second, ui::Animated::No);
    EXPECT_THAT(takeLog(log),
                ElementsAre("second.didLoad", "root.willDisappear", "second.willAppear",
                            "root.didDisappear", "second.didAppear"));
    EXPECT_EQ(second->navigationController(), navigation);
    EXPECT_TRUE(second->view()->isVisibleOnScreen());
    EXPECT_FALSE(root->view()->superview()) << "the covered screen leaves the tree";

    EXPECT_EQ(navigation->popViewControllerAnimated(ui::Animated::No), second);
    EXPECT_THAT(takeLog(log), ElementsAre("second.willDisappear", "root.willAppear",
                                          "second.didDisappear", "root.didAppear"));
    EXPECT_EQ(navigation->popViewControllerAnimated(ui::Animated::No), nullptr)
        << "the root is never popped";
    EXPECT_FALSE(second->navigationController());
}

TEST_F(NavigationTest, AnimatedPushCompletesOnTheClock) {
    takeLog(log);
    auto second = make("second");
    navigation->pushViewController(second, ui::Animated::Yes);
    EXPECT_EQ(navigation->topViewController(), second) << "the stack changes at once";
    EXPECT_THAT(takeLog(log),
                ElementsAre("second.didLoad", "root.willDisappear", "second.willAppear"));
    EXPECT_TRUE(navigation->isTransitioning());

    clock.advanceAndPump(ui::ViewTransition::kNavigationDuration / 2);
    EXPECT_TRUE(takeLog(log).empty());
    clock.advanceAndPump(ui::ViewTransition::kNavigationDuration);
    EXPECT_THAT(takeLog(log), ElementsAre("root.didDisappear", "second.didAppear"));
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_FALSE(ui::ViewTransition::isAnyRunning());
}

TEST_F(NavigationTest, PopToAControllerReleasesEverythingAboveIt) {
    auto second = make("second");
    navigation->pushViewController(second, ui::Animated::No);
    std::weak_ptr<ui::ViewController> third, fourth;
    {
        auto made = make("third");
        third = made;
        navigation->pushViewController(made, ui::Animated::No);
        auto top = make("fourth");
        fourth = top;
        navigation->pushViewController(top, ui::Animated::No);
    }
    takeLog(log);
    auto popped = navigation->popToViewController(second, ui::Animated::Yes);
    ASSERT_EQ(popped.size(), 2u);
    EXPECT_EQ(popped[0], third.lock());
    EXPECT_EQ(popped[1], fourth.lock());
    EXPECT_THAT(navigation->viewControllers(), ElementsAre(root, second));
    popped.clear();
    clock.advanceAndPump(1.0);
    EXPECT_THAT(takeLog(log), ElementsAre("fourth.willDisappear", "second.willAppear",
                                          "fourth.didDisappear", "second.didAppear"))
        << "a controller that was never on screen hears nothing";
    EXPECT_TRUE(third.expired());
    EXPECT_TRUE(fourth.expired());
    EXPECT_TRUE(navigation->popToViewController(make("stranger"), ui::Animated::No).empty());
}

TEST_F(NavigationTest, APushDuringAnAnimationSettlesTheFirstOne) {
    auto second = make("second");
    auto third = make("third");
    navigation->pushViewController(second, ui::Animated::Yes);
    navigation->pushViewController(third, ui::Animated::Yes);
    clock.advanceAndPump(1.0);
    auto entries = takeLog(log);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "second.didAppear"), 1);
    EXPECT_EQ(entries.back(), "third.didAppear");
    EXPECT_FALSE(second->view()->superview());
    EXPECT_TRUE(third->view()->isVisibleOnScreen());
}

TEST_F(NavigationTest, FlipTransitionSwapsViewsAtOnceAndCompletesAfterItsDuration) {
    auto second = make("second");
    bool completed = false;
    auto transition = ui::ViewTransition::transitionFromView(
        root->view(), second->view(), 1.0, ui::AnimationOptionTransitionFlipFromTop,
        [&completed](bool finished) { completed = finished; });
    EXPECT_EQ(transition->kind(), ui::TransitionKind::FlipFromTop);
    EXPECT_EQ(0x600000u, ui::AnimationOptionTransitionFlipFromTop);
    navigation->pushViewController(second, ui::Animated::No);
    EXPECT_EQ(navigation->topViewController(), second);
    EXPECT_TRUE(second->view()->isVisibleOnScreen());
    EXPECT_FALSE(root->view()->superview());

    clock.advanceAndPump(0.99);
    EXPECT_FALSE(completed);
    EXPECT_NEAR(transition->progress(), 0.99, 1e-9);
    clock.advanceAndPump(0.02);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(ui::ViewTransition::isAnyRunning());
}

TEST_F(NavigationTest, ModalPresentationAndDismissalRunTheirCompletionsOnce) {
    auto modal = make("modal");
    takeLog(log);
    int presentedCalls = 0;
    root->presentViewController(modal, ui::Animated::Yes, [&] { ++presentedCalls; });
    EXPECT_EQ(window->visibleViewController(), modal);
    EXPECT_EQ(modal->presentingViewController(), root);
    EXPECT_EQ(presentedCalls, 0);
    clock.advanceAndPump(ui::ViewTransition::kModalDuration);
    EXPECT_EQ(presentedCalls, 1);
    EXPECT_THAT(takeLog(log), ElementsAre("modal.didLoad", "root.willDisappear", "modal.willAppear",
                                          "root.didDisappear", "modal.didAppear"));
    EXPECT_EQ(modal->view()->superview(), window);

    int dismissedCalls = 0;
    modal->dismissViewControllerAnimated(ui::Animated::Yes, [&] { ++dismissedCalls; });
    root->dismissViewControllerAnimated(ui::Animated::Yes, [&] { ++dismissedCalls; });
    EXPECT_EQ(dismissedCalls, 0) << "the removal is not done before its animation";
    clock.advanceAndPump(ui::ViewTransition::kModalDuration);
    EXPECT_EQ(dismissedCalls, 1) << "a second dismissal while one runs is ignored";
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(modal->view()->superview());
    EXPECT_EQ(window->visibleViewController(), root);
}

TEST_F(NavigationTest, MemoryWarningsReachLoadedControllers) {
    auto unloaded = make("unloaded");
    takeLog(log);
    ui::Application::shared()->sendMemoryWarning();
    EXPECT_THAT(takeLog(log), ElementsAre("root.memoryWarning"));
}

TEST_F(NavigationTest, HiddenNavigationBarGivesTheScreenTheWholeWindow) {
    EXPECT_EQ(root->view()->frame(), ui::Rect(0, 44, 320, 524));
    navigation->setNavigationBarHidden(true);
    EXPECT_TRUE(navigation->navigationBar()->isHidden());
    EXPECT_EQ(root->view()->frame(), ui::Rect(0, 0, 320, 568));
    auto second = make("second");
    navigation->pushViewController(second, ui::Animated::No);
    EXPECT_EQ(second->view()->frame(), ui::Rect(0, 0, 320, 568));
}

}  // namespace
