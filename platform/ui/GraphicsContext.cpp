#include "platform/ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/Resampler.h"

namespace ui {

struct GraphicsContext::PixelRect {
    long long x;
    long long y;
    long long width;
    long long height;
};

namespace {

thread_local std::vector<std::unique_ptr<GraphicsContext>> contextStack;

std::uint8_t channel(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

}  // namespace

GraphicsContext::GraphicsContext(Size size, double scale, int pixelWidth, int pixelHeight)
    : size_(size),
      scale_(scale),
      canvas_(std::make_shared<Bitmap>(pixelWidth, pixelHeight, PixelFormat::RGBA8)) {}

core::Expected<std::unique_ptr<GraphicsContext>> GraphicsContext::create(Size size, double scale) {
    if (!std::isfinite(scale) || scale <= 0) {
        scale = 1.0;
    }
    const double width = std::round(size.width * scale);
    const double height = std::round(size.height * scale);
    if (!std::isfinite(width) || !std::isfinite(height) || width < 1 || height < 1) {
        return ImageDecoder::error(ImageError::Unsupported,
                                   "A bitmap context needs a size of at least one pixel");
    }
    if (!ImageDecoder::withinLimits(static_cast<long long>(width),
                                    static_cast<long long>(height))) {
        return ImageDecoder::error(ImageError::TooLarge, "The bitmap context would be too large");
    }
    return std::unique_ptr<GraphicsContext>(
        new GraphicsContext(size, scale, static_cast<int>(width), static_cast<int>(height)));
}

// Edges are rounded separately so that adjacent rectangles share an edge without a gap.
GraphicsContext::PixelRect GraphicsContext::toPixels(const Rect& rect) const {
    static constexpr double kLimit = 1e12;  // keeps absurd rectangles from overflowing integers
    auto edge = [this](double points) {
        return static_cast<long long>(std::llround(std::clamp(points * scale_, -kLimit, kLimit)));
    };
    long long x0 = edge(rect.minX());
    long long y0 = edge(rect.minY());
    return {x0, y0, edge(rect.maxX()) - x0, edge(rect.maxY()) - y0};
}

core::Expected<void> GraphicsContext::drawImage(const Image& image, const Rect& rect) {
    if (!std::isfinite(rect.minX()) || !std::isfinite(rect.minY()) || !std::isfinite(rect.maxX()) ||
        !std::isfinite(rect.maxY())) {
        return {};
    }
    const PixelRect target = toPixels(rect);
    if (target.width <= 0 || target.height <= 0) {
        return {};
    }
    // Ask for a bitmap covering the target in stored orientation, so an undecoded JPEG can
    // be decoded at a reduced DCT scale.
    const bool swap = orientationSwapsAxes(image.orientation());
    const long long needWidth = std::min<long long>(swap ? target.height : target.width, 65535);
    const long long needHeight = std::min<long long>(swap ? target.width : target.height, 65535);
    core::Expected<BitmapPtr> stored =
        image.bitmapCovering(static_cast<int>(needWidth), static_cast<int>(needHeight));
    if (!stored) {
        return stored.error();
    }
    BitmapPtr upright = Resampler::upright(*stored, image.orientation());
    Resampler::draw(*upright, {target.x, target.y, target.width, target.height}, canvas_.get());
    return {};
}

void GraphicsContext::fillRect(const Rect& rect, const Color& color) {
    const PixelRect target = toPixels(rect);
    const long long x0 = std::max(0LL, target.x);
    const long long y0 = std::max(0LL, target.y);
    const long long x1 = std::min<long long>(canvas_->width(), target.x + target.width);
    const long long y1 = std::min<long long>(canvas_->height(), target.y + target.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    // A one-pixel bitmap stretched over the rectangle composites exactly like a drawn image.
    Bitmap swatch(
        1, 1, PixelFormat::RGBA8,
        {channel(color.red), channel(color.green), channel(color.blue), channel(color.alpha)});
    Resampler::draw(swatch, {x0, y0, x1 - x0, y1 - y0}, canvas_.get());
}

// An opaque canvas (a photo drawn over all of it) is kept as RGB: a quarter less memory for
// every copy held, and nothing to flatten when it is encoded.
std::shared_ptr<Image> GraphicsContext::makeImage() const {
    const std::vector<std::uint8_t>& rgba = canvas_->pixels();
    bool opaque = true;
    for (std::size_t i = 3; i < rgba.size() && opaque; i += 4) {
        opaque = rgba[i] == 255;
    }
    if (!opaque) {
        return Image::create(std::make_shared<const Bitmap>(*canvas_), scale_,
                             ImageOrientation::Up);
    }
    std::vector<std::uint8_t> rgb(rgba.size() / 4 * 3);
    for (std::size_t from = 0, to = 0; from < rgba.size(); from += 4, to += 3) {
        rgb[to] = rgba[from];
        rgb[to + 1] = rgba[from + 1];
        rgb[to + 2] = rgba[from + 2];
    }
    auto bitmap = std::make_shared<const Bitmap>(canvas_->width(), canvas_->height(),
                                                 PixelFormat::RGB8, std::move(rgb));
    return Image::create(std::move(bitmap), scale_, ImageOrientation::Up);
}

core::Expected<void> beginImageContext(Size size, double scale) {
    auto context = GraphicsContext::create(size, scale);
    if (!context) {
        return context.error();
    }
    contextStack.push_back(std::move(*context));
    return {};
}

GraphicsContext* currentContext() {
    return contextStack.empty() ? nullptr : contextStack.back().get();
}

std::shared_ptr<Image> imageFromCurrentContext() {
    GraphicsContext* context = currentContext();
    return context ? context->makeImage() : nullptr;
}

void endImageContext() {
    if (!contextStack.empty()) {
        contextStack.pop_back();
    }
}

core::Expected<void> drawInRect(const Image& image, const Rect& rect) {
    GraphicsContext* context = currentContext();
    if (context == nullptr) {
        return ImageDecoder::error(ImageError::Unsupported,
                                   "There is no current bitmap context to draw into");
    }
    return context->drawImage(image, rect);
}

}  // namespace ui
