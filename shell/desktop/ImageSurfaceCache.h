#pragma once

#include <list>
#include <memory>

#include "platform/ui/Image.h"

using cairo_surface_t = struct _cairo_surface;

namespace shell {

// Upright, premultiplied Cairo surfaces of images, made once and kept for as long as the image
// lives (and the cache has room), so redrawing a screen converts no pixels. A request for more
// pixels than the kept surface has makes a sharper one. Main thread.
class ImageSurfaceCache {
public:
    explicit ImageSurfaceCache(std::size_t capacity = 256) : capacity_(capacity) {}
    ~ImageSurfaceCache();
    ImageSurfaceCache(const ImageSurfaceCache&) = delete;
    ImageSurfaceCache& operator=(const ImageSurfaceCache&) = delete;

    // A surface of `image` shown upright, at least `pixelWidth` x `pixelHeight` when the image
    // has that many pixels; borrowed until the next call. Null when the image cannot be
    // decoded.
    cairo_surface_t* surface(const std::shared_ptr<ui::Image>& image, int pixelWidth,
                             int pixelHeight);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::weak_ptr<ui::Image> image;
        const ui::Image* key = nullptr;
        cairo_surface_t* surface = nullptr;
        int width = 0;  // pixels of the stored bitmap the surface was made from
    };
    void drop(std::list<Entry>::iterator entry);
    void prune();

    std::size_t capacity_;
    std::list<Entry> entries_;  // most recently used first
};

}  // namespace shell
