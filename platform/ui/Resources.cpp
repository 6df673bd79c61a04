#include "platform/ui/Resources.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>

#include "platform/ui/InterfaceError.h"

namespace ui {

namespace {

struct ResourceState {
    std::mutex mutex;
    std::optional<std::filesystem::path> directory;                     // guarded by mutex
    std::map<std::string, std::shared_ptr<Image>, std::less<>> images;  // guarded by mutex
};

ResourceState& state() {
    static ResourceState* shared = new ResourceState;
    return *shared;
}

std::filesystem::path programDirectory() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

std::filesystem::path defaultDirectory() {
    std::vector<std::filesystem::path> candidates;
    if (const char* fromEnvironment = std::getenv("PROOFSHOT_RESOURCES")) {
        candidates.emplace_back(fromEnvironment);
    }
    auto program = programDirectory();
    if (!program.empty()) {
        candidates.push_back(program / "resources");
        candidates.push_back(program / ".." / "share" / "proofshot" / "resources");
    }
#ifdef PROOFSHOT_RESOURCE_DIR
    candidates.emplace_back(PROOFSHOT_RESOURCE_DIR);
#endif
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_directory(candidate, error)) {
            return candidate;
        }
    }
    return candidates.empty() ? std::filesystem::path("resources") : candidates.back();
}

}  // namespace

void Resources::setDirectory(std::filesystem::path directory) {
    std::lock_guard lock(state().mutex);
    state().directory = std::move(directory);
    state().images.clear();
}

std::filesystem::path Resources::directory() {
    std::lock_guard lock(state().mutex);
    if (!state().directory) {
        state().directory = defaultDirectory();
    }
    return *state().directory;
}

core::Expected<std::filesystem::path> Resources::path(std::string_view name) {
    std::filesystem::path relative(name);
    bool escapes = name.empty() || relative.is_absolute();
    for (const auto& part : relative) {
        escapes = escapes || part == "..";
    }
    auto full = directory() / relative;
    std::error_code error;
    if (escapes || !std::filesystem::is_regular_file(full, error)) {
        return makeInterfaceError(
            InterfaceError::MissingResource,
            "resource \"" + std::string(name) + "\" not found in " + directory().string());
    }
    return full;
}

core::Expected<core::Bytes> Resources::data(std::string_view name) {
    auto found = path(name);
    if (!found) {
        return found.error();
    }
    std::ifstream file(*found, std::ios::binary);
    core::Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        return makeInterfaceError(InterfaceError::MissingResource,
                                  "resource \"" + std::string(name) + "\" could not be read");
    }
    return bytes;
}

core::Expected<std::shared_ptr<Image>> Resources::image(std::string_view name) {
    {
        std::lock_guard lock(state().mutex);
        if (auto cached = state().images.find(name); cached != state().images.end()) {
            return cached->second;
        }
    }
    auto bytes = data(name);
    if (!bytes) {
        return bytes.error();
    }
    auto image = Image::create(*bytes);
    if (!image) {
        return image.error();
    }
    std::lock_guard lock(state().mutex);
    state().images.emplace(std::string(name), *image);
    return *image;
}

}  // namespace ui
