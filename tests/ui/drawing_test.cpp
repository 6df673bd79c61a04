#include <gtest/gtest.h>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;

std::shared_ptr<Image> resizeTo640x480(const Image& picture) {
    EXPECT_TRUE(beginImageContext({640, 480}));
    EXPECT_TRUE(drawInRect(picture, Rect(0, 0, 640, 480)));
    auto copy = imageFromCurrentContext();
    endImageContext();
    return copy;
}

// Camera pictures in both orientations are squeezed, not cropped, into 640 x 480.
TEST(Drawing, CameraPicturesOfEitherOrientationBecome640x480) {
    for (auto [width, height] : {std::pair{3264, 2448}, std::pair{2448, 3264}}) {
        auto picture = *Image::create(jpegOf(quadrants(width, height), 0.8));
        auto copy = resizeTo640x480(*picture);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->size(), (Size{640, 480}));
        EXPECT_EQ(copy->scale(), 1.0);
        auto pixels = *copy->bitmap();
        ASSERT_EQ(pixels->width(), 640);
        ASSERT_EQ(pixels->height(), 480);
        EXPECT_EQ(pixels->format(), PixelFormat::RGB8) << "an opaque copy needs no alpha";
        EXPECT_TRUE(near(pixels->pixel(5, 5), kRed));
        EXPECT_TRUE(near(pixels->pixel(634, 5), kGreen));
        EXPECT_TRUE(near(pixels->pixel(5, 474), kBlue));
        EXPECT_TRUE(near(pixels->pixel(634, 474), kWhite));
    }
}

TEST(Drawing, PortraitByExifBecomes640x480Upright) {
    // Stored landscape, shown portrait: the upright picture is squeezed into landscape.
    auto picture = *Image::create(withExifOrientation(jpegOf(quadrants(3264, 2448), 0.8), 6));
    EXPECT_EQ(picture->size(), (Size{2448, 3264}));
    auto pixels = *resizeTo640x480(*picture)->bitmap();
    EXPECT_TRUE(near(pixels->pixel(5, 5), kBlue));
    EXPECT_TRUE(near(pixels->pixel(634, 474), kGreen));
}

TEST(Drawing, ShrinkingAveragesTheCoveredArea) {
    // Fine black and white stripes must become grey, not alias to one of the two.
    auto stripes = std::make_shared<Bitmap>(64, 8, PixelFormat::RGB8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 64; ++x) {
            std::fill_n(stripes->row(y) + x * 3, 3, x % 2 ? 255 : 0);
        }
    }
    ASSERT_TRUE(beginImageContext({5, 1}));
    ASSERT_TRUE(drawInRect(*Image::create(stripes), Rect(0, 0, 5, 1)));
    auto pixels = *imageFromCurrentContext()->bitmap();
    endImageContext();
    for (int x = 0; x < 5; ++x) {
        EXPECT_TRUE(near(pixels->pixel(x, 0), {128, 128, 128, 255}, 12)) << x;
    }
}

TEST(Drawing, TransparencyCompositesSourceOver) {
    auto halfRed = std::make_shared<Bitmap>(1, 1, PixelFormat::RGBA8,
                                            std::vector<std::uint8_t>{255, 0, 0, 128});
    ASSERT_TRUE(beginImageContext({4, 4}));
    currentContext()->fillRect(Rect(0, 0, 4, 4), Color::white());
    ASSERT_TRUE(drawInRect(*Image::create(halfRed), Rect(0, 0, 2, 4)));
    auto pixels = *imageFromCurrentContext()->bitmap();
    endImageContext();
    EXPECT_TRUE(near(pixels->pixel(0, 0), {255, 127, 127, 255}, 2));
    EXPECT_EQ(pixels->pixel(3, 0), kWhite);
}

TEST(Drawing, ContextsStackPerThreadAndStartTransparent) {
    EXPECT_EQ(currentContext(), nullptr);
    EXPECT_EQ(imageFromCurrentContext(), nullptr);
    EXPECT_FALSE(drawInRect(*Image::create(quadrants(2, 2)), Rect(0, 0, 1, 1)));
    EXPECT_FALSE(beginImageContext({0, 10}));
    EXPECT_FALSE(beginImageContext({1e6, 1e6}));

    ASSERT_TRUE(beginImageContext({8, 8}, 2.0));
    ASSERT_TRUE(beginImageContext({3, 3}));
    EXPECT_EQ(imageFromCurrentContext()->size(), (Size{3, 3}));
    endImageContext();
    auto outer = imageFromCurrentContext();
    endImageContext();
    EXPECT_EQ(currentContext(), nullptr);
    EXPECT_EQ(outer->size(), (Size{8, 8}));
    EXPECT_EQ(outer->pixelWidth(), 16);
    EXPECT_EQ((*outer->bitmap())->pixel(7, 7), (Bitmap::RGBA{0, 0, 0, 0}));
}

TEST(Drawing, RectanglesPartlyOutsideTheCanvasAreClipped) {
    auto picture = Image::create(quadrants(2, 2));
    ASSERT_TRUE(beginImageContext({4, 4}));
    // The picture spans -4..4: only its bottom-right quadrant lands on the canvas.
    ASSERT_TRUE(drawInRect(*picture, Rect(-4, -4, 8, 8)));
    ASSERT_TRUE(drawInRect(*picture, Rect(1e15, 0, 1e15, 4)));
    auto pixels = *imageFromCurrentContext()->bitmap();
    endImageContext();
    EXPECT_EQ(pixels->pixel(3, 3), kWhite);
}

}  // namespace
}  // namespace ui
