#pragma once

#include <memory>
#include <string_view>

#include "platform/core/Timer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"

namespace shell {

// Feeds the image picker's camera screen with live pictures from the current camera device
// while that screen is shown, at most `framesPerSecond`, one capture in flight at a time;
// nothing runs while no camera screen is up. Main thread.
class CameraPreview {
public:
    explicit CameraPreview(double framesPerSecond = 12) : interval_(1.0 / framesPerSecond) {}
    ~CameraPreview();
    CameraPreview(const CameraPreview&) = delete;
    CameraPreview& operator=(const CameraPreview&) = delete;

    // Looks at the window: starts the next capture when the camera screen is up and a frame
    // is due. Call whenever the window may have changed.
    void update(const ui::Window& window);
    int framesShown() const { return frames_; }

    // The identifier the image picker gives its camera picture.
    static constexpr std::string_view kPreviewIdentifier = "cameraPreview";
    // The camera screen's picture when it is on screen in `window`, else null.
    static std::shared_ptr<ui::ImageView> shownIn(const ui::Window& window);

private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    double interval_;
    bool capturing_ = false;
    std::shared_ptr<core::Timer> due_;
    int frames_ = 0;
};

}  // namespace shell
