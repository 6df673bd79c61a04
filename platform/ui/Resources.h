#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/ui/Image.h"

namespace ui {

// The app's resources — interface descriptions and images — found by file name in one
// directory. Unless set, the directory is the first that exists of: $PROOFSHOT_RESOURCES,
// "resources" next to the program, "../share/proofshot/resources" from the program, and the
// source tree's "resources". Any thread.
class Resources {
public:
    static void setDirectory(std::filesystem::path directory);
    static std::filesystem::path directory();

    // The path of resource `name`, or a MissingResource error naming it.
    static core::Expected<std::filesystem::path> path(std::string_view name);
    static core::Expected<core::Bytes> data(std::string_view name);
    // The decoded image, decoded once and then shared.
    static core::Expected<std::shared_ptr<Image>> image(std::string_view name);
};

}  // namespace ui
