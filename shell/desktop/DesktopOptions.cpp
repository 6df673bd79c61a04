#include "shell/desktop/DesktopOptions.h"

#include <system_error>

#include "platform/ui/CameraDevice.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/SimulatedCamera.h"

namespace shell {

namespace {

core::Error optionError(const std::string& message) {
    core::Error error("ShellErrorDomain", 3);
    error.set(core::LocalizedDescriptionKey, message);
    return error;
}

bool isOption(const std::string& argument) {
    return argument.starts_with("--");
}

core::Expected<std::filesystem::path> folderValue(const std::vector<std::string>& arguments,
                                                  std::size_t i) {
    if (i + 1 >= arguments.size() || isOption(arguments[i + 1])) {
        return optionError(arguments[i] + " needs a folder");
    }
    return std::filesystem::path(arguments[i + 1]);
}

}  // namespace

core::Expected<DesktopOptions> DesktopOptions::take(std::vector<std::string>& arguments) {
    DesktopOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--window") {
            options.window = true;
        } else if (argument == "--simulated-camera") {
            options.simulatedCamera = true;
            // The folder is optional: a next argument that is not an option is it.
            if (i + 1 < arguments.size() && !isOption(arguments[i + 1])) {
                options.cameraFolder = arguments[++i];
            }
        } else if (argument == "--gallery" || argument == "--screenshots") {
            auto folder = folderValue(arguments, i);
            if (!folder) {
                return folder.error();
            }
            (argument == "--gallery" ? options.gallery : options.screenshots) = *folder;
            ++i;
        } else {
            rest.push_back(argument);
        }
    }
    arguments = std::move(rest);
    return options;
}

core::Expected<void> DesktopOptions::apply() const {
    if (cameraFolder && !std::filesystem::is_directory(*cameraFolder)) {
        return optionError("--simulated-camera: " + cameraFolder->string() + " is not a folder");
    }
    if (gallery && !std::filesystem::is_directory(*gallery)) {
        return optionError("--gallery: " + gallery->string() + " is not a folder");
    }
    if (screenshots) {
        std::error_code error;
        std::filesystem::create_directories(*screenshots, error);
        if (error) {
            return optionError("--screenshots: cannot make " + screenshots->string() + ": " +
                               error.message());
        }
    }
    if (simulatedCamera) {
        ui::CameraDevice::setCurrent(cameraFolder ? ui::SimulatedCamera::withFolder(*cameraFolder)
                                                  : ui::SimulatedCamera::withGeneratedFrames());
    }
    if (gallery) {
        ui::PhotoLibrary::setDefaultFolder(*gallery);
    }
    return {};
}

}  // namespace shell
