#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Little-endian fields, as EXIF, TIFF, BMP, ICO and GIF store them.
inline void put16(core::Bytes& b, unsigned v) {
    b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
}
inline void put32(core::Bytes& b, unsigned v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// The JPEG with an EXIF APP1 segment holding only the Orientation tag, right after SOI.
inline core::Bytes withExifOrientation(const core::Bytes& jpeg, std::uint16_t orientation) {
    core::Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0});
    put32(out, 8);  // the IFD follows the TIFF header
    put16(out, 1);  // one entry: Orientation, SHORT, count 1
    put16(out, 0x0112);
    put16(out, 3);
    put32(out, 1);
    put32(out, orientation);
    put32(out, 0);  // no next IFD
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// An uncompressed little-endian RGB TIFF of `bitmap` (RGB8) with the given Orientation tag.
inline core::Bytes tiffOf(const Bitmap& bitmap, unsigned orientation = 1) {
    core::Bytes b = {'I', 'I', 42, 0};
    const unsigned entries = 10;
    const unsigned bitsAt = 8 + 2 + entries * 12 + 4;
    const unsigned pixelsAt = bitsAt + 6;
    const unsigned w = static_cast<unsigned>(bitmap.width());
    const unsigned h = static_cast<unsigned>(bitmap.height());
    put32(b, 8);
    put16(b, entries);
    auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
        put16(b, tag);
        put16(b, type);
        put32(b, count);
        put32(b, value);
    };
    entry(256, 3, 1, w);            // width
    entry(257, 3, 1, h);            // height
    entry(258, 3, 3, bitsAt);       // 8 bits a sample, stored after the IFD
    entry(259, 3, 1, 1);            // no compression
    entry(262, 3, 1, 2);            // RGB
    entry(273, 4, 1, pixelsAt);     // strip offset
    entry(274, 3, 1, orientation);  // orientation
    entry(277, 3, 1, 3);            // samples per pixel
    entry(278, 3, 1, h);            // rows per strip
    entry(279, 4, 1, w * h * 3);    // strip bytes
    put32(b, 0);
    put16(b, 8);
    put16(b, 8);
    put16(b, 8);
    b.insert(b.end(), bitmap.pixels().begin(), bitmap.pixels().end());
    return b;
}

inline void writeFile(const std::filesystem::path& path, const core::Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// JPEG and resampling shift colours a little; this is "the same colour" for the tests.
inline bool near(Bitmap::RGBA a, Bitmap::RGBA b, int tolerance = 40) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

}  // namespace ui::testing
