#pragma once

#include <filesystem>
#include <memory>

#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"
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
    const Animator& animator() const { return animator_; }

    // A picture for the camera screen to show while it has none of its own: a still of the
    // window has no live feed, but should not show a black camera.
    void setCameraStill(ui::ImagePtr still) { cameraStill_ = std::move(still); }

    // Draws into `cr`, whose user space must be window pixels.
    void draw(cairo_t* cr, const ui::Window& window);
    // The window as RGBA pixels, width and height its size in points times the scale.
    ui::BitmapPtr render(const ui::Window& window);

private:
    double scale_;
    Animator animator_;
    ImageSurfaceCache images_;
    ui::ImagePtr cameraStill_;
};

// The window drawn at the main screen's scale and written as a PNG file; `cameraStill` as
// in Renderer::setCameraStill.
core::Expected<void> renderToPNG(const ui::Window& window, const std::filesystem::path& path,
                                 ui::ImagePtr cameraStill = nullptr);

}  // namespace shell
