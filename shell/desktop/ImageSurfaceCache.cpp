#include "shell/desktop/ImageSurfaceCache.h"

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace shell {

namespace {

cairo_surface_t* storedSurface(const ui::Bitmap& bitmap) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width(), bitmap.height());
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* out =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < bitmap.width(); ++x) {
            auto p = bitmap.pixel(x, y);
            // Cairo wants alpha premultiplied into the colour.
            auto mul = [a = p.a](std::uint8_t c) {
                return static_cast<std::uint32_t>(c * a / 255);
            };
            out[x] = (static_cast<std::uint32_t>(p.a) << 24) | (mul(p.r) << 16) | (mul(p.g) << 8) |
                     mul(p.b);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Turns the stored pixels so that they show upright.
void applyOrientation(cairo_t* cr, ui::ImageOrientation orientation, double w, double h) {
    using O = ui::ImageOrientation;
    bool swaps = ui::orientationSwapsAxes(orientation);
    bool mirrored = static_cast<int>(orientation) >= static_cast<int>(O::UpMirrored);
    if (mirrored) {
        cairo_translate(cr, swaps ? h : w, 0);
        cairo_scale(cr, -1, 1);
    }
    constexpr double kQuarter = std::numbers::pi / 2;
    switch (orientation) {
        case O::Down:
        case O::DownMirrored:
            cairo_translate(cr, w, h);
            cairo_rotate(cr, 2 * kQuarter);
            break;
        case O::Left:
        case O::LeftMirrored:
            cairo_translate(cr, 0, w);
            cairo_rotate(cr, -kQuarter);
            break;
        case O::Right:
        case O::RightMirrored:
            cairo_translate(cr, h, 0);
            cairo_rotate(cr, kQuarter);
            break;
        default:
            break;
    }
}

cairo_surface_t* uprightSurface(const ui::Bitmap& bitmap, ui::ImageOrientation orientation) {
    cairo_surface_t* stored = storedSurface(bitmap);
    if (orientation == ui::ImageOrientation::Up) {
        return stored;
    }
    bool swaps = ui::orientationSwapsAxes(orientation);
    int width = swaps ? bitmap.height() : bitmap.width();
    int height = swaps ? bitmap.width() : bitmap.height();
    cairo_surface_t* upright = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(upright);
    applyOrientation(cr, orientation, bitmap.width(), bitmap.height());
    cairo_set_source_surface(cr, stored, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(stored);
    return upright;
}

}  // namespace

ImageSurfaceCache::~ImageSurfaceCache() {
    while (!entries_.empty()) {
        drop(entries_.begin());
    }
}

void ImageSurfaceCache::drop(std::list<Entry>::iterator entry) {
    cairo_surface_destroy(entry->surface);
    entries_.erase(entry);
}

void ImageSurfaceCache::prune() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        if (it->image.expired()) {
            drop(it);
        }
        it = next;
    }
    while (entries_.size() > capacity_) {
        drop(std::prev(entries_.end()));
    }
}

cairo_surface_t* ImageSurfaceCache::surface(const std::shared_ptr<ui::Image>& image, int pixelWidth,
                                            int pixelHeight) {
    if (!image) {
        return nullptr;
    }
    bool swaps = ui::orientationSwapsAxes(image->orientation());
    int storedWidth = std::min(image->pixelWidth(), swaps ? pixelHeight : pixelWidth);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->key != image.get() || it->image.lock() != image) {
            continue;
        }
        if (it->width >= storedWidth) {
            entries_.splice(entries_.begin(), entries_, it);
            return it->surface;
        }
        drop(it);
        break;
    }
    auto bitmap =
        image->bitmapCovering(swaps ? pixelHeight : pixelWidth, swaps ? pixelWidth : pixelHeight);
    if (!bitmap || !*bitmap) {
        return nullptr;
    }
    entries_.push_front(
        {image, image.get(), uprightSurface(**bitmap, image->orientation()), (*bitmap)->width()});
    cairo_surface_t* made = entries_.front().surface;
    prune();
    return made;
}

}  // namespace shell
