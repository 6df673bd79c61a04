#pragma once

#include <filesystem>
#include <memory>

#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Window.h"
#include "shell/desktop/Animator.h"
#include "shell/desktop/ImageSurfaceCache.h"

using cairo_t = struct _cairo;

namespace shell {

// Draws a window's view tree with Cairo and Pango at a scale (pixels per point): its views,
// running transitions and the prompt that is up. It reads the view model and changes nothing
// in it. Main thread.
class Renderer {
public:
    explicit Renderer(double scale);

    double scale() const { return scale_; }
    Animator& animator() { return animator_; }

    // Draws into `cr`, whose user space must be window pixels.
    void draw(cairo_t* cr, const ui::Window& window);
    // The window as RGBA pixels, width and height its size in points times the scale.
    ui::BitmapPtr render(const ui::Window& window);

private:
    double scale_;
    Animator animator_;
    ImageSurfaceCache images_;
};

// The window drawn at the main screen's scale and written as a PNG file.
core::Expected<void> renderToPNG(const ui::Window& window, const std::filesystem::path& path);

}  // namespace shell
