#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ui {

enum class PixelFormat {
    RGB8,   // 3 bytes a pixel, opaque
    RGBA8,  // 4 bytes a pixel, alpha not premultiplied
};

inline constexpr int bytesPerPixel(PixelFormat format) {
    return format == PixelFormat::RGB8 ? 3 : 4;
}

// Decoded pixels, rows top to bottom with no padding. Shared between images as
// std::shared_ptr<const Bitmap>: once handed out it is never changed, so any thread may read it.
class Bitmap {
public:
    Bitmap(int width, int height, PixelFormat format);
    Bitmap(int width, int height, PixelFormat format, std::vector<std::uint8_t> pixels);

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    std::size_t rowBytes() const {
        return static_cast<std::size_t>(width_) * bytesPerPixel(format_);
    }

    const std::uint8_t* row(int y) const { return pixels_.data() + rowBytes() * y; }
    std::uint8_t* row(int y) { return pixels_.data() + rowBytes() * y; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }
    std::vector<std::uint8_t>& pixels() { return pixels_; }

    // Red, green, blue, alpha of one pixel (alpha 255 for RGB8).
    struct RGBA {
        std::uint8_t r, g, b, a;
        friend bool operator==(const RGBA&, const RGBA&) = default;
    };
    RGBA pixel(int x, int y) const;

private:
    int width_;
    int height_;
    PixelFormat format_;
    std::vector<std::uint8_t> pixels_;
};

using BitmapPtr = std::shared_ptr<const Bitmap>;

}  // namespace ui
