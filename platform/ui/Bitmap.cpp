#include "platform/ui/Bitmap.h"

#include <cassert>

namespace ui {

Bitmap::Bitmap(int width, int height, PixelFormat format)
    : Bitmap(width, height, format,
             std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height *
                                       bytesPerPixel(format))) {}

Bitmap::Bitmap(int width, int height, PixelFormat format, std::vector<std::uint8_t> pixels)
    : width_(width), height_(height), format_(format), pixels_(std::move(pixels)) {
    assert(width >= 0 && height >= 0);
    assert(pixels_.size() == rowBytes() * static_cast<std::size_t>(height));
}

Bitmap::RGBA Bitmap::pixel(int x, int y) const {
    const std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * bytesPerPixel(format_);
    if (format_ == PixelFormat::RGB8) {
        return {p[0], p[1], p[2], 255};
    }
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace ui
