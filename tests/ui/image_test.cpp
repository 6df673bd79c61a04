#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/JPEGEncoder.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;

struct OrientationCase {
    int exif;
    ImageOrientation orientation;
    // Colours seen at the top-left, top-right, bottom-left, bottom-right of the upright picture.
    Bitmap::RGBA corners[4];
};

// The stored picture is 64 x 32 with red, green / blue, white quadrants; drawn at its size
// in points, its corners must show as the case says.
void expectDrawnUpright(const Image& image, const OrientationCase& c) {
    const Size size = image.size();
    const bool turned = orientationSwapsAxes(c.orientation);
    EXPECT_EQ(size, turned ? (Size{32, 64}) : (Size{64, 32}));

    ASSERT_TRUE(beginImageContext(size));
    ASSERT_TRUE(drawInRect(image, Rect({0, 0}, size)));
    auto drawn = imageFromCurrentContext();
    endImageContext();
    auto bitmap = drawn->bitmap();
    ASSERT_TRUE(bitmap);
    const int w = static_cast<int>(size.width) - 4;
    const int h = static_cast<int>(size.height) - 4;
    const int probes[4][2] = {{3, 3}, {w, 3}, {3, h}, {w, h}};
    for (int i = 0; i < 4; ++i) {
        auto seen = (*bitmap)->pixel(probes[i][0], probes[i][1]);
        EXPECT_TRUE(near(seen, c.corners[i]))
            << "corner " << i << " is " << int(seen.r) << "," << int(seen.g) << "," << int(seen.b);
    }
}

class TaggedOrientation : public ::testing::TestWithParam<OrientationCase> {};

// JPEG keeps its pixels as stored and carries the orientation.
TEST_P(TaggedOrientation, ExifJPEGDrawsUprightAsDisplayed) {
    const OrientationCase& c = GetParam();
    auto image = Image::create(withExifOrientation(jpegOf(quadrants(64, 32)), c.exif));
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ((*image)->orientation(), c.orientation);
    EXPECT_EQ((*image)->pixelWidth(), 64);
    expectDrawnUpright(**image, c);
}

// TIFF is decoded upright, quarter turns included.
TEST_P(TaggedOrientation, TIFFDrawsUprightAsDisplayed) {
    const OrientationCase& c = GetParam();
    auto image = Image::create(tiffOf(*quadrants(64, 32), static_cast<unsigned>(c.exif)));
    ASSERT_TRUE(image) << image.error().description();
    expectDrawnUpright(**image, c);
}

INSTANTIATE_TEST_SUITE_P(
    AllEight, TaggedOrientation,
    ::testing::Values(
        OrientationCase{1, ImageOrientation::Up, {kRed, kGreen, kBlue, kWhite}},
        OrientationCase{2, ImageOrientation::UpMirrored, {kGreen, kRed, kWhite, kBlue}},
        OrientationCase{3, ImageOrientation::Down, {kWhite, kBlue, kGreen, kRed}},
        OrientationCase{4, ImageOrientation::DownMirrored, {kBlue, kWhite, kRed, kGreen}},
        OrientationCase{5, ImageOrientation::LeftMirrored, {kRed, kBlue, kGreen, kWhite}},
        OrientationCase{6, ImageOrientation::Right, {kBlue, kRed, kWhite, kGreen}},
        OrientationCase{7, ImageOrientation::RightMirrored, {kWhite, kGreen, kBlue, kRed}},
        OrientationCase{8, ImageOrientation::Left, {kGreen, kWhite, kRed, kBlue}}));

TEST(Image, RewrappingChangesScaleAndOrientationButNotPixels) {
    auto original = *Image::create(jpegOf(quadrants(64, 32)));
    auto rewrapped = Image::create(*original, 2.0, ImageOrientation::Right);
    EXPECT_EQ(rewrapped->size(), (Size{16, 32}));
    EXPECT_EQ(rewrapped->pixelWidth(), 64);
    EXPECT_EQ(*rewrapped->bitmap(), *original->bitmap()) << "the decoded bitmap is shared";
    // The JPEG bytes no longer show the picture as the new orientation does.
    EXPECT_NE(original->jpegData(), nullptr);
    EXPECT_EQ(rewrapped->jpegData(), nullptr);
    EXPECT_NE(Image::create(*original, 3.0, ImageOrientation::Up)->jpegData(), nullptr);
}

TEST(Image, DecodesLazilyOnceAcrossThreads) {
    auto image = *Image::create(jpegOf(quadrants(256, 128)));
    std::vector<BitmapPtr> seen(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] { seen[i] = *image->bitmap(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& bitmap : seen) {
        EXPECT_EQ(bitmap, seen[0]);
    }
    EXPECT_EQ(seen[0]->width(), 256);
}

TEST(JPEGRepresentation, QualityAboveOneCountsAsOne) {
    auto image = Image::create(quadrants(64, 48));
    auto best = JPEGRepresentation(*image, 1.0);
    ASSERT_TRUE(best);
    EXPECT_EQ(*JPEGRepresentation(*image, 90.0), *best);
    EXPECT_NE(*JPEGRepresentation(*image, 0.9), *best);
    EXPECT_EQ(*JPEGRepresentation(*image, -3.0), *JPEGRepresentation(*image, 0.0));
    EXPECT_EQ(JPEGEncoder::libjpegQuality(1.0), 100);
    EXPECT_EQ(JPEGEncoder::libjpegQuality(std::nan("")), 0);
}

// The encoded bytes grow in place: noise at the top quality outgrows the first block (about a
// byte per pixel), a single pixel fits in the smallest; both must come back whole.
TEST(JPEGEncoderTest, OutputThatOutgrowsItsFirstBlockAndOutputThatDoesNotAreWhole) {
    auto noise = std::make_shared<Bitmap>(300, 200, PixelFormat::RGB8);
    std::uint32_t seed = 12345;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 900; ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise->row(y)[x] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    for (const auto& [bitmap, grows] : {std::pair{noise, true}, {quadrants(1, 1), false}}) {
        auto bytes = JPEGEncoder::encode(*bitmap, 100);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes->size() > 300u * 200u, grows);
        ASSERT_GE(bytes->size(), 4u);
        EXPECT_EQ((*bytes)[0], 0xFF);
        EXPECT_EQ((*bytes)[1], 0xD8);
        EXPECT_EQ((*bytes)[bytes->size() - 2], 0xFF);
        EXPECT_EQ((*bytes)[bytes->size() - 1], 0xD9);
        auto decoded = Image::create(*bytes);
        ASSERT_TRUE(decoded);
        EXPECT_EQ((*decoded)->size(), (Size{static_cast<double>(bitmap->width()),
                                            static_cast<double>(bitmap->height())}));
    }
}

TEST(JPEGRepresentation, WritesPixelsUprightAndFlattensAlphaOntoBlack) {
    auto turned = Image::create(quadrants(64, 32), 1.0, ImageOrientation::Right);
    auto decoded = *Image::create(*JPEGRepresentation(*turned, 1.0));
    EXPECT_EQ(decoded->orientation(), ImageOrientation::Up);
    EXPECT_EQ(decoded->size(), (Size{32, 64}));
    EXPECT_TRUE(near((*decoded->bitmap())->pixel(2, 2), kBlue));

    auto clear = std::make_shared<Bitmap>(16, 16, PixelFormat::RGBA8);
    std::fill(clear->pixels().begin(), clear->pixels().end(), 255);
    for (std::size_t i = 3; i < clear->pixels().size(); i += 4) {
        clear->pixels()[i] = 0;
    }
    auto flattened = *Image::create(*JPEGRepresentation(*Image::create(clear), 1.0));
    EXPECT_TRUE(near((*flattened->bitmap())->pixel(8, 8), {0, 0, 0, 255}, 4));
}

}  // namespace
}  // namespace ui
