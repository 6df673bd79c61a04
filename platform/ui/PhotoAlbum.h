#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/core/DispatchQueue.h"
#include "platform/core/Expected.h"
#include "platform/ui/Image.h"

namespace ui {

// The device's saved photos album: a folder of JPEG files. A write stores the full-size
// picture under a new name and never replaces a file that is there, even one written at the
// same moment by another thread or process; a file appears whole or not at all.
class PhotoAlbum : public std::enable_shared_from_this<PhotoAlbum> {
public:
    using WriteCompletion = std::function<void(const core::Expected<std::filesystem::path>&)>;

    // The album camera pictures go to: the folder set with setSavedPhotosFolder, else
    // defaultFolder().
    static std::shared_ptr<PhotoAlbum> savedPhotos();
    static void setSavedPhotosFolder(std::filesystem::path folder);
    // "Proofshot" in the user's pictures folder: $XDG_PICTURES_DIR, else the entry in
    // $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Pictures.
    static std::filesystem::path defaultFolder();

    static std::shared_ptr<PhotoAlbum> create(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }

    // Writes now, on the calling thread; the path of the new file. A picture that came as
    // JPEG bytes is written as those bytes; any other is encoded at the best quality.
    core::Expected<std::filesystem::path> write(const Image& image);

    // Writes on the album's own serial queue, in order, so the caller (the main thread) does
    // not wait for the disk. The completion, if any, runs on that queue; failures are logged.
    void writeInBackground(std::shared_ptr<const Image> image, WriteCompletion completion = {});
    // Returns once every background write queued before the call has finished.
    void waitForPendingWrites();

private:
    explicit PhotoAlbum(std::filesystem::path folder);
    core::Expected<std::filesystem::path> store(const core::Bytes& bytes);

    std::filesystem::path folder_;
    std::shared_ptr<core::DispatchQueue> queue_;
};

}  // namespace ui
