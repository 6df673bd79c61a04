#pragma once

#include <memory>

#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"

namespace ui {

// An offscreen bitmap to draw into, in points with the origin at the top left. Each thread
// has its own stack of contexts: beginImageContext pushes one, endImageContext pops it, and
// the free functions below draw into the top one.
class GraphicsContext {
public:
    // A transparent canvas of size x scale pixels (rounded to whole pixels). Fails for an
    // empty, non-finite or excessively large size.
    static core::Expected<std::unique_ptr<GraphicsContext>> create(Size size, double scale = 1.0);

    Size size() const { return size_; }
    double scale() const { return scale_; }

    // Draws the image upright (as its orientation shows it) filling `rect`, whose width and
    // height scale the picture independently. Fails only if the image's pixels cannot be decoded.
    core::Expected<void> drawImage(const Image& image, const Rect& rect);
    void fillRect(const Rect& rect, const Color& color);

    // An image of the canvas as it is now, with the context's scale (RGB8 when fully opaque).
    std::shared_ptr<Image> makeImage() const;

private:
    GraphicsContext(Size size, double scale, int pixelWidth, int pixelHeight);
    struct PixelRect;
    PixelRect toPixels(const Rect& rect) const;

    Size size_;
    double scale_;
    std::shared_ptr<Bitmap> canvas_;
};

// The calling thread's context stack, as the platform's UIGraphics functions keep it.
core::Expected<void> beginImageContext(Size size, double scale = 1.0);
GraphicsContext* currentContext();
// The current context's image, or null when the thread has no context.
std::shared_ptr<Image> imageFromCurrentContext();
void endImageContext();
// Draws into the current context; fails when the thread has none.
core::Expected<void> drawInRect(const Image& image, const Rect& rect);

}  // namespace ui
