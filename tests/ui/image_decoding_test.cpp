#include <gtest/gtest.h>

#include "platform/ui/Image.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/PNGEncoder.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;

// A bottom-up 24-bit device-independent bitmap of the 2 x 2 quadrants, without file header.
core::Bytes dib(int heightFactor) {
    core::Bytes b;
    put32(b, 40);
    put32(b, 2);
    put32(b, 2 * heightFactor);
    put16(b, 1);
    put16(b, 24);
    for (int i = 0; i < 6; ++i) {
        put32(b, 0);
    }
    const Bitmap::RGBA rows[2][2] = {{kBlue, kWhite}, {kRed, kGreen}};  // bottom row first
    for (const auto& row : rows) {
        for (const auto& c : row) {
            b.insert(b.end(), {c.b, c.g, c.r});
        }
        b.insert(b.end(), {0, 0});  // rows pad to four bytes
    }
    return b;
}

core::Bytes bmp() {
    core::Bytes body = dib(1);
    core::Bytes b = {'B', 'M'};
    put32(b, 14 + body.size());
    put32(b, 0);
    put32(b, 14 + 40);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

core::Bytes ico() {
    core::Bytes body = dib(2);      // an icon's DIB counts the AND mask in its height
    body.insert(body.end(), 8, 0);  // AND mask: two rows of 4 bytes, all opaque
    core::Bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, 1);
    b.insert(b.end(), {2, 2, 0, 0});
    put16(b, 1);
    put16(b, 24);
    put32(b, body.size());
    put32(b, 22);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

core::Bytes tiff() {
    return tiffOf(*quadrants(2, 2));
}

// A GIF whose LZW stream sends a clear code before every pixel, so codes stay 3 bits wide.
// Palette: red, green, blue, white; white is declared transparent.
core::Bytes gif() {
    core::Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, 2);
    put16(b, 2);
    b.insert(b.end(), {0xF1, 0, 0});  // global table of 4 colours
    for (const auto& c : {kRed, kGreen, kBlue, kWhite}) {
        b.insert(b.end(), {c.r, c.g, c.b});
    }
    b.insert(b.end(), {0x21, 0xF9, 4, 1, 0, 0, 3, 0});  // graphic control: index 3 transparent
    b.push_back(0x2C);
    put16(b, 0);
    put16(b, 0);
    put16(b, 2);
    put16(b, 2);
    b.push_back(0);
    b.push_back(2);  // minimum code size
    std::vector<unsigned> codes;
    for (unsigned index : {0u, 1u, 2u, 3u}) {
        codes.insert(codes.end(), {4u, index});
    }
    codes.push_back(5);  // end of information
    core::Bytes data;
    unsigned bits = 0;
    int count = 0;
    for (unsigned code : codes) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            data.push_back(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) {
        data.push_back(bits & 0xFF);
    }
    b.push_back(static_cast<std::uint8_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), {0, 0x3B});
    return b;
}

void expectQuadrants(const core::Bytes& bytes, Bitmap::RGBA bottomRight = kWhite) {
    auto image = Image::create(bytes);
    ASSERT_TRUE(image) << image.error().description();
    EXPECT_EQ((*image)->size(), (Size{2, 2}));
    auto pixels = *(*image)->bitmap();
    EXPECT_TRUE(near(pixels->pixel(0, 0), kRed, 2));
    EXPECT_TRUE(near(pixels->pixel(1, 0), kGreen, 2));
    EXPECT_TRUE(near(pixels->pixel(0, 1), kBlue, 2));
    EXPECT_TRUE(near(pixels->pixel(1, 1), bottomRight, 2));
}

TEST(ImageDecoding, ReadsEveryFormat) {
    expectQuadrants(*PNGRepresentation(*Image::create(quadrants(2, 2))));
    expectQuadrants(bmp());
    expectQuadrants(ico());
    expectQuadrants(tiff());
    expectQuadrants(gif(), {0, 0, 0, 0});
    EXPECT_EQ(ImageDecoder::sniff(gif()), ImageFormat::GIF);
    EXPECT_EQ(ImageDecoder::sniff(ico()), ImageFormat::ICO);
    EXPECT_EQ(ImageDecoder::sniff(tiff()), ImageFormat::TIFF);
}

TEST(ImageDecoding, PNGKeepsTransparency) {
    auto rgba = std::make_shared<Bitmap>(1, 1, PixelFormat::RGBA8,
                                         std::vector<std::uint8_t>{10, 20, 30, 40});
    auto decoded = *Image::create(*PNGRepresentation(*Image::create(rgba)));
    EXPECT_TRUE(decoded->hasAlpha());
    EXPECT_EQ((*decoded->bitmap())->pixel(0, 0), (Bitmap::RGBA{10, 20, 30, 40}));
}

// Every prefix and a bit-flipped copy of each file must give an error or a picture, never a crash.
TEST(ImageDecoding, DamagedBytesGiveErrorsNotCrashes) {
    const core::Bytes files[] = {bmp(),
                                 ico(),
                                 tiff(),
                                 gif(),
                                 jpegOf(quadrants(16, 16)),
                                 *PNGRepresentation(*Image::create(quadrants(4, 4)))};
    auto decodeFully = [](const core::Bytes& bytes) {
        if (auto image = Image::create(bytes)) {
            (void)(*image)->bitmap();
        }
    };
    for (const core::Bytes& file : files) {
        for (std::size_t length = 0; length < file.size(); ++length) {
            decodeFully(core::Bytes(file.begin(), file.begin() + length));
        }
        core::Bytes flipped = file;
        for (std::size_t i = 4; i < flipped.size(); i += 3) {
            flipped[i] ^= 0x5A;
        }
        decodeFully(flipped);
    }
    auto notAnImage = Image::create(core::bytesFromString("<html>not found</html>"));
    ASSERT_FALSE(notAnImage);
    EXPECT_EQ(notAnImage.error().code(), static_cast<int>(ImageError::UnknownFormat));
    EXPECT_FALSE(Image::create(core::Bytes{}));
}

void expectRefused(const core::Bytes& bytes, ImageError error, const char* what) {
    auto image = Image::create(bytes);
    ASSERT_FALSE(image) << what;
    EXPECT_EQ(image.error().code(), static_cast<int>(error)) << what;
}

TEST(ImageDecoding, RefusesHugeDimensionsBeforeAllocating) {
    core::Bytes hugeBMP = bmp();
    hugeBMP[18 + 2] = 0x01;  // width 65538
    hugeBMP[22 + 2] = 0x01;  // height 65538
    expectRefused(hugeBMP, ImageError::TooLarge, "BMP of 65538 x 65538");

    // The loader would allocate up to what these claim.
    core::Bytes longHeaderBMP = bmp();
    longHeaderBMP[14] = 0xBF;
    longHeaderBMP[15] = longHeaderBMP[16] = longHeaderBMP[17] = 0xFF;
    expectRefused(longHeaderBMP, ImageError::Corrupt, "BMP info header of 4 GiB");
    core::Bytes farPixelsBMP = bmp();
    farPixelsBMP[12] = 0xF7;
    farPixelsBMP[13] = 0xFF;
    expectRefused(farPixelsBMP, ImageError::Corrupt, "BMP pixels 4 GiB in");
    core::Bytes hugePaletteBMP = bmp();
    hugePaletteBMP[46 + 3] = 0xF3;
    expectRefused(hugePaletteBMP, ImageError::Corrupt, "BMP palette of four billion colours");

    // Icon entries pointing 1.5 GiB past the end, or a directory longer than the data: refused
    // before the loader buffers up to there, not by the loader afterwards.
    core::Bytes farIco = ico();
    farIco[6 + 12 + 3] = 0x60;
    core::Bytes longDirectoryIco = ico();
    longDirectoryIco[4] = 0xFF;
    for (const auto& damaged : {farIco, longDirectoryIco}) {
        expectRefused(damaged, ImageError::Corrupt, "icon");
        EXPECT_EQ(Image::create(damaged).error().localizedDescription(),
                  "The icon directory is damaged");
    }

    core::Bytes hugeJPEG = jpegOf(quadrants(16, 16));
    for (std::size_t i = 2; i + 8 < hugeJPEG.size(); ++i) {
        if (hugeJPEG[i] == 0xFF && hugeJPEG[i + 1] == 0xC0) {
            hugeJPEG[i + 5] = hugeJPEG[i + 7] = 0xEA;
            hugeJPEG[i + 6] = hugeJPEG[i + 8] = 0x60;
            break;
        }
    }
    expectRefused(hugeJPEG, ImageError::TooLarge, "JPEG frame of 60000 x 60000");

    core::Bytes hugeGIF = gif();
    hugeGIF[6] = hugeGIF[7] = hugeGIF[8] = hugeGIF[9] = 0xFF;
    expectRefused(hugeGIF, ImageError::TooLarge, "GIF of 65535 x 65535");
}

}  // namespace
}  // namespace ui
