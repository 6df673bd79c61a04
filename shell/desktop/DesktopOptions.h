#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Expected.h"

namespace shell {

// The desktop shell's command-line options, taken out of a program's arguments:
//   --simulated-camera [DIR]  pictures from DIR, or generated frames without DIR
//   --gallery DIR             the photo library is the pictures in DIR
//   --screenshots DIR         a PNG per walkthrough step goes to DIR
//   --window                  run in a window even where a walkthrough is asked for
struct DesktopOptions {
    std::optional<std::filesystem::path> cameraFolder;
    bool simulatedCamera = false;
    std::optional<std::filesystem::path> gallery;
    std::optional<std::filesystem::path> screenshots;
    bool window = false;

    // Removes the options above from `arguments` and returns them; the other arguments stay
    // in order. A missing or unusable value is an error that names the option.
    static core::Expected<DesktopOptions> take(std::vector<std::string>& arguments);
    // Installs the camera and photo library they choose, and makes the screenshot folder.
    core::Expected<void> apply() const;
};

}  // namespace shell
