#pragma once

#include <filesystem>
#include <string>

#include "platform/core/Expected.h"
#include "platform/ui/Image.h"
#include "platform/ui/Window.h"

namespace shell {

// Writes the key window as a numbered PNG per step into a folder: "01-sign-in.png", ...
// A camera screen without a live feed shows one picture taken from the current camera the
// first time it is needed. Main thread.
class ScreenshotRecorder {
public:
    explicit ScreenshotRecorder(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The path written; an error when there is no key window or the file cannot be written.
    core::Expected<std::filesystem::path> record(const std::string& title);
    int count() const { return count_; }

    // "Sign in (order 1001)" -> "sign-in-order-1001".
    static std::string slug(const std::string& title);

private:
    ui::ImagePtr cameraStill(const ui::Window& window);

    std::filesystem::path folder_;
    ui::ImagePtr cameraStill_;
    int count_ = 0;
};

}  // namespace shell
