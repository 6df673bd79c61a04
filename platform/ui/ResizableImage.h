#pragma once

#include <memory>

#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"

namespace ui {

// An image drawn as nine slices: the borders given by the cap insets keep their size and
// the middle stretches to fill (resizableImageWithCapInsets:). Insets of zero stretch the
// whole image. A plain image converts to one with no caps.
struct ResizableImage {
    ResizableImage() = default;
    ResizableImage(std::shared_ptr<Image> image, EdgeInsets capInsets = {})
        : image(std::move(image)), capInsets(capInsets) {}

    explicit operator bool() const { return image != nullptr; }

    std::shared_ptr<Image> image;
    EdgeInsets capInsets;
};

// `image` made resizable with `capInsets`; null stays null.
inline ResizableImage resizableImage(std::shared_ptr<Image> image, EdgeInsets capInsets) {
    return ResizableImage(std::move(image), capInsets);
}

}  // namespace ui
