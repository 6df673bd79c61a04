#include "platform/ui/PhotoLibrary.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "platform/ui/PhotoAlbum.h"

namespace ui {

namespace {

std::mutex libraryMutex;
std::optional<std::filesystem::path> defaultFolder;  // guarded by libraryMutex

bool isImageFile(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const char* const known[] = {".jpg", ".jpeg", ".png",  ".gif",
                                        ".bmp", ".tif",  ".tiff", ".ico"};
    return std::find(std::begin(known), std::end(known), extension) != std::end(known);
}

}  // namespace

std::shared_ptr<PhotoLibrary> PhotoLibrary::current() {
    std::lock_guard lock(libraryMutex);
    if (!defaultFolder) {
        defaultFolder = PhotoAlbum::defaultFolder().parent_path();
    }
    return create(*defaultFolder);
}

void PhotoLibrary::setDefaultFolder(std::filesystem::path folder) {
    std::lock_guard lock(libraryMutex);
    defaultFolder = std::move(folder);
}

std::shared_ptr<PhotoLibrary> PhotoLibrary::create(std::filesystem::path folder) {
    return std::shared_ptr<PhotoLibrary>(new PhotoLibrary(std::move(folder)));
}

bool PhotoLibrary::exists() const {
    std::error_code error;
    return std::filesystem::is_directory(folder_, error);
}

std::vector<std::filesystem::path> PhotoLibrary::items() const {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isImageFile(it->path())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

core::Expected<ImagePtr> PhotoLibrary::load(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return core::Error::posix(errno, "Cannot open " + file.string());
    }
    core::Bytes bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        return core::Error::posix(EIO, "Cannot read " + file.string());
    }
    return Image::create(bytes);
}

}  // namespace ui
