#pragma once

#include <cstdlib>
#include <memory>

#include "platform/core/Bytes.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"
#include "platform/ui/JPEGEncoder.h"

namespace ui::testing {

inline constexpr Bitmap::RGBA kRed{255, 0, 0, 255};
inline constexpr Bitmap::RGBA kGreen{0, 255, 0, 255};
inline constexpr Bitmap::RGBA kBlue{0, 0, 255, 255};
inline constexpr Bitmap::RGBA kWhite{255, 255, 255, 255};

// Red, green / blue, white quadrants: any turn or mirror moves the colours to other corners.
inline std::shared_ptr<Bitmap> quadrants(int width, int height) {
    auto bitmap = std::make_shared<Bitmap>(width, height, PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2;
            bool bottom = y >= height / 2;
            Bitmap::RGBA c = bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
            std::uint8_t* p = bitmap->row(y) + x * 3;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    return bitmap;
}

inline core::Bytes jpegOf(const std::shared_ptr<const Bitmap>& bitmap, double quality = 0.95) {
    auto bytes = JPEGRepresentation(*Image::create(bitmap), quality);
    if (!bytes) {
        std::abort();
    }
    return *bytes;
}

// The JPEG with an EXIF APP1 segment holding only the Orientation tag, right after SOI.
inline core::Bytes withExifOrientation(const core::Bytes& jpeg, std::uint16_t orientation) {
    const core::Bytes app1 = {
        0xFF,
        0xE1,
        0x00,
        34,  // marker, length
        'E',
        'x',
        'i',
        'f',
        0,
        0,  // EXIF header
        'I',
        'I',
        42,
        0,
        8,
        0,
        0,
        0,  // little-endian TIFF, IFD at 8
        1,
        0,  // one entry
        0x12,
        0x01,
        3,
        0,
        1,
        0,
        0,
        0,  // Orientation, SHORT, count 1
        static_cast<std::uint8_t>(orientation),
        0,
        0,
        0,
        0,
        0,
        0,
        0,  // no next IFD
    };
    core::Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1.begin(), app1.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// JPEG and resampling shift colours a little; this is "the same colour" for the tests.
inline bool near(Bitmap::RGBA a, Bitmap::RGBA b, int tolerance = 40) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

}  // namespace ui::testing
