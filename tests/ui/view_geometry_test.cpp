#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/AffineTransform.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

void expectNear(Point actual, Point expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
}

TEST(AffineTransform, ComposesInOrderAndInvertsOnlyWhatCanBeUndone) {
    const auto scaleThenMove =
        AffineTransform::makeScale(2, 3).concat(AffineTransform::makeTranslation(10, 20));
    expectNear(scaleThenMove.apply(Point{1, 1}), Point{12, 23});
    const auto moveThenScale =
        AffineTransform::makeTranslation(10, 20).concat(AffineTransform::makeScale(2, 3));
    expectNear(moveThenScale.apply(Point{1, 1}), Point{22, 63});

    const auto turned = AffineTransform::makeRotation(M_PI / 2);
    expectNear(turned.apply(Point{1, 0}), Point{0, 1});  // clockwise on a y-down screen
    const auto mixed = turned.concat(scaleThenMove);
    auto back = mixed.inverted();
    ASSERT_TRUE(back);
    expectNear(back->apply(mixed.apply(Point{-7, 4.5})), Point{-7, 4.5});

    EXPECT_FALSE(AffineTransform::makeScale(0, 1).inverted());
    EXPECT_FALSE(AffineTransform::makeScale(NAN, 1).inverted());
    EXPECT_TRUE(AffineTransform::makeScale(1e-6, 1e-6).inverted()) << "small is not degenerate";

    const Rect box = turned.apply(Rect(0, 0, 4, 2));
    EXPECT_NEAR(box.minX(), -2, 1e-9);
    EXPECT_NEAR(box.width(), 2, 1e-9);
    EXPECT_NEAR(box.height(), 4, 1e-9);
}

class ViewGeometryTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application::shared()->resetForTesting();
        window->makeKeyAndVisible();
        window->addSubview(panel);
        panel->addSubview(button);
        // Doubled about its centre (70, 150), then moved 10 points right: the panel's point
        // p shows at (70, 150) + 2 (p - (50, 50)) + (10, 0), so the button covers
        // (90, 160) to (110, 180) of the window.
        panel->setTransform(
            AffineTransform::makeScale(2, 2).concat(AffineTransform::makeTranslation(10, 0)));
    }
    void TearDown() override { Application::shared()->resetForTesting(); }

    std::shared_ptr<Window> window = Window::create(Rect(0, 0, 320, 568));
    std::shared_ptr<View> panel = View::create(Rect(20, 100, 100, 100));
    std::shared_ptr<Button> button = Button::create(Rect(55, 55, 10, 10));
};

TEST_F(ViewGeometryTest, TapsLandOnTheControlThroughAScaledAndMovedParent) {
    EXPECT_EQ(window->hitTest({100, 170}), button);
    EXPECT_EQ(window->hitTest({108, 178}), button);
    EXPECT_EQ(window->hitTest({85, 170}), panel) << "beside the button, on the grown panel";
    EXPECT_EQ(window->hitTest({170, 240}), panel) << "the panel grew past its frame";
    EXPECT_EQ(window->hitTest({185, 60}), window) << "just past the grown panel's edge";

    // The same taps as a 2x screen reports them, in pixels; a window placed off the origin.
    EXPECT_EQ(window->hitTestScreenPixel({200, 340}, 2.0), button);
    EXPECT_EQ(window->hitTestScreenPixel({170, 340}, 2.0), panel);
    window->setFrame(Rect(0, 20, 320, 548));
    EXPECT_EQ(window->hitTestScreenPixel({200, 380}, 2.0), button);

    panel->setTransform(AffineTransform::makeScale(0, 1));
    EXPECT_EQ(window->hitTest({100, 170}), window) << "a view scaled to nothing is not hit";
}

TEST_F(ViewGeometryTest, PointsAndFramesConvertBetweenViews) {
    const Rect inWindow = button->frameInWindow();
    EXPECT_NEAR(inWindow.minX(), 90, 1e-9);
    EXPECT_NEAR(inWindow.minY(), 160, 1e-9);
    EXPECT_NEAR(inWindow.width(), 20, 1e-9);

    auto other = View::create(Rect(100, 150, 50, 50));
    window->addSubview(other);
    expectNear(*button->convertPointTo({5, 5}, nullptr), Point{100, 170});
    expectNear(*button->convertPointTo({5, 5}, other.get()), Point{0, 20});
    expectNear(*button->convertPointFrom({0, 20}, other.get()), Point{5, 5});
    expectNear(*other->convertPointTo({0, 20}, panel.get()), Point{60, 60});

    panel->setTransform(AffineTransform::makeScale(0, 0));
    EXPECT_FALSE(button->convertPointFrom({0, 0}, nullptr));
}

TEST(Autoresizing, FlexibleMarginsAndSizesFollowTheSuperview) {
    Application::shared()->resetForTesting();
    auto root = View::create(Rect(0, 0, 320, 480));
    auto bottomBar = View::create(Rect(0, 436, 320, 44));
    bottomBar->setAutoresizingMask(AutoresizingMask::FlexibleTopMargin |
                                   AutoresizingMask::FlexibleWidth);
    auto content = View::create(Rect(0, 0, 320, 436));
    content->setAutoresizingMask(AutoresizingMask::FlexibleWidth |
                                 AutoresizingMask::FlexibleHeight);
    auto centred = View::create(Rect(110, 0, 100, 40));
    centred->setAutoresizingMask(AutoresizingMask::FlexibleLeftMargin |
                                 AutoresizingMask::FlexibleRightMargin);
    auto fixed = View::create(Rect(10, 10, 30, 30));
    root->addSubview(bottomBar);
    root->addSubview(content);
    content->addSubview(centred);
    content->addSubview(fixed);

    root->setFrame(Rect(0, 0, 768, 568));
    EXPECT_EQ(bottomBar->frame(), Rect(0, 524, 768, 44)) << "pinned to the bottom";
    EXPECT_EQ(content->frame(), Rect(0, 0, 768, 524));
    EXPECT_EQ(centred->frame(), Rect(334, 0, 100, 40)) << "resizing reaches grandchildren";
    EXPECT_EQ(fixed->frame(), Rect(10, 10, 30, 30));

    content->setAutoresizesSubviews(false);
    root->setFrame(Rect(0, 0, 320, 480));
    EXPECT_EQ(content->frame(), Rect(0, 0, 320, 436));
    EXPECT_EQ(centred->frame(), Rect(334, 0, 100, 40));

    root->setFrame(Rect(0, 0, 10, 10));
    EXPECT_GE(content->frame().size.height, 0) << "a shrinking superview leaves no negative size";
}

}  // namespace
}  // namespace ui
