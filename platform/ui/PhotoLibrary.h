#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/core/Expected.h"
#include "platform/ui/Image.h"

namespace ui {

// The pictures the user can pick from: the image files of one folder (not its subfolders),
// in name order. The folder is read again on every call, so files added meanwhile show up.
class PhotoLibrary {
public:
    // The library the image picker shows: the folder set with setDefaultFolder, else the
    // user's pictures folder (the parent of the saved photos album's default folder).
    static std::shared_ptr<PhotoLibrary> current();
    static void setDefaultFolder(std::filesystem::path folder);
    static std::shared_ptr<PhotoLibrary> create(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }
    bool exists() const;
    // JPEG, PNG, GIF, BMP, TIFF and ICO files by extension, any case.
    std::vector<std::filesystem::path> items() const;
    // Reads and decodes one file; bad files are errors, never crashes.
    static core::Expected<ImagePtr> load(const std::filesystem::path& file);

private:
    explicit PhotoLibrary(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::filesystem::path folder_;
};

}  // namespace ui
