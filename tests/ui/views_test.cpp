#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Resources.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/ui/ImageTestFixtures.h"

namespace {

ui::ImagePtr picture(int width, int height) {
    return ui::Image::create(std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8));
}

class ViewsTest : public ::testing::Test {
protected:
    void SetUp() override { ui::Application::shared()->resetForTesting(); }
    void TearDown() override { ui::Application::shared()->resetForTesting(); }

    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 568));
};

TEST_F(ViewsTest, HitTestingFindsTheFrontmostShownInteractiveView) {
    auto panel = ui::View::create(ui::Rect(10, 100, 300, 200));
    auto back = ui::Button::create(ui::Rect(0, 0, 100, 50));
    auto front = ui::Button::create(ui::Rect(50, 0, 100, 50));
    window->makeKeyAndVisible();
    window->addSubview(panel);
    panel->addSubview(back);
    panel->addSubview(front);
    EXPECT_EQ(window->hitTest({70, 110}), front) << "later children are in front";
    EXPECT_EQ(window->hitTest({20, 110}), back);
    EXPECT_EQ(front->frameInWindow(), ui::Rect(60, 100, 100, 50));
    front->setHidden(true);
    EXPECT_EQ(window->hitTest({70, 110}), back);
    back->setUserInteractionEnabled(false);
    EXPECT_EQ(window->hitTest({20, 110}), panel);
    EXPECT_EQ(window->hitTest({5, 5}), window);
    EXPECT_EQ(window->hitTest({400, 5}), nullptr);

    panel->addSubview(window);  // a view cannot become its own descendant
    EXPECT_FALSE(window->superview());
}

TEST_F(ViewsTest, ButtonStatesFallBackToNormal) {
    auto button = ui::Button::create();
    button->setTitle("Search");
    button->setTitle("Wait", ui::ControlState::Disabled);
    auto image = picture(36, 36);
    button->setBackgroundImage(ui::resizableImage(image, {18, 18, 18, 18}));
    EXPECT_EQ(button->currentTitle(), "Search");
    button->setEnabled(false);
    EXPECT_EQ(button->currentTitle(), "Wait");
    EXPECT_EQ(button->currentBackgroundImage().image, image);
    EXPECT_EQ(button->currentBackgroundImage().capInsets, (ui::EdgeInsets{18, 18, 18, 18}));
    EXPECT_EQ(button->title(ui::ControlState::Highlighted), "Search");
}

TEST_F(ViewsTest, OneTextFieldHoldsTheKeyboardAtATime) {
    auto name = ui::TextField::create();
    auto password = ui::TextField::create();
    EXPECT_FALSE(name->becomeFirstResponder()) << "a field outside a window cannot edit";
    window->addSubview(name);
    window->addSubview(password);
    int ends = 0;
    name->addAction([&](const auto&) { ++ends; }, ui::ControlEvent::EditingDidEnd);
    EXPECT_TRUE(name->becomeFirstResponder());
    EXPECT_TRUE(password->becomeFirstResponder());
    EXPECT_FALSE(name->isFirstResponder());
    EXPECT_EQ(ends, 1);
    password->insertText("sé");
    password->deleteBackward();
    EXPECT_EQ(password->text(), "s") << "deleting removes a whole character";
    password->pressReturn();
    EXPECT_FALSE(window->isKeyboardVisible());

    name->becomeFirstResponder();
    name->removeFromSuperview();
    EXPECT_FALSE(window->isKeyboardVisible()) << "a field that leaves takes the keyboard along";
}

TEST_F(ViewsTest, ImageViewAnimationFollowsTheClock) {
    core::testing::ScopedVirtualClock clock;
    auto view = ui::ImageView::create(ui::Rect(0, 0, 100, 100));
    auto still = picture(4, 3);
    std::vector<ui::ImagePtr> frames{picture(1, 1), picture(2, 2)};
    view->setImage(still);
    view->setAnimationImages(frames);
    view->setAnimationDuration(5.0);
    view->setAnimationRepeatCount(0);
    view->startAnimating();
    EXPECT_EQ(view->displayedImage(), frames[0]);
    clock.advance(2.6);
    EXPECT_EQ(view->displayedImage(), frames[1]);
    clock.advance(5.0 * 1000);
    EXPECT_TRUE(view->isAnimating()) << "a repeat count of 0 runs for ever";

    view->setAnimationRepeatCount(2);
    view->startAnimating();
    clock.advance(9.9);
    EXPECT_TRUE(view->isAnimating());
    clock.advance(0.2);
    EXPECT_FALSE(view->isAnimating());
    EXPECT_EQ(view->displayedImage(), still);
}

TEST_F(ViewsTest, SmallViewsKeepTheirStateInRange) {
    auto spinner = ui::ActivityIndicatorView::create();
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());

    auto bar = ui::ProgressView::create();
    bar->setProgress(1.5);
    EXPECT_EQ(bar->progress(), 1.0);
    bar->setProgress(-1);
    EXPECT_EQ(bar->progress(), 0.0);
    bar->setProgress(std::nan(""));
    EXPECT_EQ(bar->progress(), 0.0);
}

TEST_F(ViewsTest, ResourcesAreFoundByNameInsideTheirDirectoryOnly) {
    auto directory =
        std::filesystem::temp_directory_path() / ("proofshot-res-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    auto png = ui::PNGRepresentation(*picture(36, 36));
    ASSERT_TRUE(png);
    ui::testing::writeFile(directory / "blackButton.png", *png);
    ui::Resources::setDirectory(directory);

    auto image = ui::Resources::image("blackButton.png");
    ASSERT_TRUE(image);
    EXPECT_EQ((*image)->size(), (ui::Size{36, 36}));
    EXPECT_EQ(*ui::Resources::image("blackButton.png"), *image) << "decoded once";
    EXPECT_FALSE(ui::Resources::image("whiteButton.png"));
    EXPECT_FALSE(ui::Resources::path("../" + directory.filename().string() + "/blackButton.png"));
    EXPECT_FALSE(ui::Resources::path("/etc/passwd"));
    std::filesystem::remove_all(directory);
}

#ifndef NDEBUG
TEST(ViewsDeathTest, TheViewTreeBelongsToTheMainThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto parent = ui::View::create();
    auto child = ui::View::create();
    EXPECT_DEATH(std::thread([&] { parent->addSubview(child); }).join(), "");
}
#endif

}  // namespace
