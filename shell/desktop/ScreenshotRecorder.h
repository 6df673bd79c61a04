#pragma once

#include <filesystem>
#include <string>

#include "platform/core/Expected.h"

namespace shell {

// Writes the key window as a numbered PNG per step into a folder: "01-sign-in.png", ...
// Main thread.
class ScreenshotRecorder {
public:
    explicit ScreenshotRecorder(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The path written; an error when there is no key window or the file cannot be written.
    core::Expected<std::filesystem::path> record(const std::string& title);
    int count() const { return count_; }

    // "Sign in (order 1001)" -> "sign-in-order-1001".
    static std::string slug(const std::string& title);

private:
    std::filesystem::path folder_;
    int count_ = 0;
};

}  // namespace shell
