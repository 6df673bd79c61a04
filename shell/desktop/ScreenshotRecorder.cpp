#include "shell/desktop/ScreenshotRecorder.h"

#include <cctype>
#include <cstdio>

#include "platform/ui/Application.h"
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
    if (auto written = renderToPNG(*window, path); !written) {
        return written.error();
    }
    ++count_;
    return path;
}

}  // namespace shell
