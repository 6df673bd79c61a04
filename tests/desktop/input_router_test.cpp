#include <gtest/gtest.h>

#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/Animator.h"
#include "shell/desktop/InputRouter.h"
#include "tests/desktop/PumpPending.h"

namespace {

using shell::EditingKey;
using shell::InputRouter;

class InputRouterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        window->makeKeyAndVisible();
        // Scale 2, shown at half size on a small display, centred with a 40 pixel margin.
        router.setViewport({1.0, {40, 0}});
    }
    void TearDown() override { ui::Application::shared()->resetForTesting(); }

    // Window points to the pixels the router gets.
    ui::Point pixels(double x, double y) const { return {40 + x, y}; }

    std::shared_ptr<ui::Button> button(ui::Rect frame, int& taps) {
        auto made = ui::Button::create(frame);
        made->setTitle("Go");
        made->addAction([&taps](const auto&) { ++taps; });
        return made;
    }

    core::VirtualClock clock;
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 480));
    shell::Animator animator;
    InputRouter router{window, animator};
};

TEST_F(InputRouterTest, TapsReachTheFrontControlThroughOffsetsAndTheViewport) {
    int backTaps = 0, frontTaps = 0;
    auto panel = ui::View::create(ui::Rect(0, 100, 320, 200));
    window->addSubview(panel);
    panel->addSubview(button(ui::Rect(10, 10, 200, 44), backTaps));
    panel->addSubview(button(ui::Rect(110, 10, 200, 44), frontTaps));
    router.tap(pixels(150, 130));
    router.tap(pixels(50, 130));
    EXPECT_EQ(frontTaps, 1);
    EXPECT_EQ(backTaps, 1);
    router.tap(pixels(50, 90));  // above the panel
    router.tap({20, 130});       // in the margin, left of the window
    EXPECT_EQ(backTaps + frontTaps, 2);

    router.setViewport({0.5, {0, 0}});  // the same window drawn at half size
    router.tap({75, 65});
    EXPECT_EQ(frontTaps, 2);
}

TEST_F(InputRouterTest, APressReleasedElsewhereOrOnADisabledControlDoesNothing) {
    int taps = 0;
    auto go = button(ui::Rect(10, 10, 100, 44), taps);
    window->addSubview(go);
    router.press(pixels(20, 20));
    EXPECT_TRUE(go->isHighlighted());
    router.release(pixels(200, 200));
    EXPECT_FALSE(go->isHighlighted());
    go->setEnabled(false);
    router.tap(pixels(20, 20));
    EXPECT_EQ(taps, 0);
}

TEST_F(InputRouterTest, ToolbarTapsReachTheItemUnderThePointerWhenEnabled) {
    auto bar = ui::Toolbar::create(ui::Rect(0, 436, 320, 44));
    window->addSubview(bar);
    std::vector<std::string> sent;
    auto item = [&](std::string title) {
        return ui::BarButtonItem::create(title, ui::BarButtonItemStyle::Bordered,
                                         [&sent, title](const auto&) { sent.push_back(title); });
    };
    auto start = item("Start");
    bar->setItems(
        {item("Take"), ui::BarButtonItem::create(ui::BarButtonSystemItem::FlexibleSpace), start});
    router.tap(pixels(30, 458));
    router.tap(pixels(160, 458));  // the flexible space
    router.tap(pixels(300, 458));
    start->setEnabled(false);
    router.tap(pixels(300, 458));
    EXPECT_EQ(sent, (std::vector<std::string>{"Take", "Start"}));
}

TEST_F(InputRouterTest, TypingGoesToTheFocusedFieldAndTabAndReturnMoveOn) {
    auto name = ui::TextField::create(ui::Rect(20, 20, 280, 40));
    auto order = ui::TextField::create(ui::Rect(20, 80, 280, 40));
    order->setKeyboardType(ui::KeyboardType::NumberPad);
    window->addSubview(name);
    window->addSubview(order);
    int returns = 0;
    order->addAction([&](const auto&) { ++returns; }, ui::ControlEvent::EditingDidEndOnExit);

    router.text("ignored: no field has the keyboard");
    router.tap(pixels(100, 40));
    router.text("anna");
    router.key(EditingKey::Backspace);
    router.key(EditingKey::Tab);
    router.text("10a0\t1");
    router.key(EditingKey::Return);
    EXPECT_EQ(name->text(), "ann");
    EXPECT_EQ(order->text(), "1001") << "a number pad takes digits only";
    EXPECT_EQ(returns, 1);
    EXPECT_FALSE(order->isFirstResponder());
    router.key(EditingKey::BackTab);
    EXPECT_TRUE(order->isFirstResponder()) << "back from nothing starts at the last field";
}

TEST_F(InputRouterTest, ATapDuringATransitionIsIgnoredNotDeliveredLater) {
    int oldTaps = 0, newTaps = 0;
    auto oldScreen = ui::View::create(window->bounds());
    oldScreen->addSubview(button(ui::Rect(10, 10, 200, 44), oldTaps));
    auto newScreen = ui::View::create(window->bounds());
    newScreen->addSubview(button(ui::Rect(10, 10, 200, 44), newTaps));
    window->addSubview(newScreen);
    ui::ViewTransition::start(ui::TransitionKind::FlipFromTop, oldScreen, newScreen, 1.0, nullptr);
    router.tap(pixels(50, 30));  // a second tap on the button that started it
    desktop_testing::advanceAndPump(clock, 1.1);
    EXPECT_EQ(oldTaps + newTaps, 0);
    router.tap(pixels(50, 30));
    EXPECT_EQ(newTaps, 1);
}

TEST_F(InputRouterTest, PromptsTakeTapsAndKeysBeforeTheScreen) {
    int taps = 0;
    window->addSubview(button(ui::Rect(0, 0, 320, 480), taps));
    auto alert = ui::AlertView::create("Error", "Could not reach the server", {}, "Ok");
    alert->show();
    animator.update();
    clock.advance(1);
    router.tap(pixels(10, 10));  // beside the card: an alert stays
    EXPECT_TRUE(alert->isVisible());
    router.key(EditingKey::Return);
    EXPECT_FALSE(alert->isVisible());

    auto sheet = ui::ActionSheet::create("Upload to", {}, "Cancel", std::nullopt,
                                         {"Before Folder", "After Folder"});
    sheet->showInView(window);
    router.key(EditingKey::Escape);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(taps, 0);
}

}  // namespace
