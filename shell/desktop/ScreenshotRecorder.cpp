#include "shell/desktop/ScreenshotRecorder.h"

#include <cctype>
#include <cstdio>

#include "platform/ui/Application.h"
#include "platform/ui/CameraDevice.h"
#include "shell/desktop/CameraPreview.h"
#include "shell/desktop/Renderer.h"

namespace shell {

std::string ScreenshotRecorder::slug(const std::string& title) {
    std::string out;
    for (unsigned char c : title) {
        if (std::isalnum(c)) {
            out += static_cast<char>(std::tolower(c));
        } else if (!out.empty() && out.back() != '-') {
            out += '-';
        }
    }
    while (!out.empty() && out.back() == '-') {
        out.pop_back();
    }
    return out.empty() ? "step" : out;
}

ui::ImagePtr ScreenshotRecorder::cameraStill(const ui::Window& window) {
    auto preview = CameraPreview::shownIn(window);
    if (!preview || preview->image()) {
        return nullptr;
    }
    auto camera = ui::CameraDevice::current();
    if (!cameraStill_ && camera && camera->isAvailable()) {
        // A failed capture leaves the camera dark in this picture; the next one tries again.
        if (auto picture = camera->capture()) {
            cameraStill_ = *picture;
        }
    }
    return cameraStill_;
}

core::Expected<std::filesystem::path> ScreenshotRecorder::record(const std::string& title) {
    auto window = ui::Application::shared()->keyWindow();
    if (!window) {
        core::Error error("ShellErrorDomain", 4);
        error.set(core::LocalizedDescriptionKey, "no window to take a screenshot of");
        return error;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", count_ + 1);
    auto path = folder_ / (number + slug(title) + ".png");
    if (auto written = renderToPNG(*window, path, cameraStill(*window)); !written) {
        return written.error();
    }
    ++count_;
    return path;
}

}  // namespace shell
