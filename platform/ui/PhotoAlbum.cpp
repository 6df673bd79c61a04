#include "platform/ui/PhotoAlbum.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "platform/core/Log.h"
#include "platform/ui/JPEGEncoder.h"

namespace ui {
namespace {

std::mutex savedPhotosMutex;
std::shared_ptr<PhotoAlbum> savedPhotosAlbum;  // guarded by savedPhotosMutex

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr ? entry->pw_dir : "/tmp";
}

// Reads XDG_PICTURES_DIR="$HOME/..." from user-dirs.dirs, as xdg-user-dirs writes it.
std::filesystem::path picturesFromUserDirs() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path file = (config != nullptr && *config != '\0')
                                     ? std::filesystem::path(config)
                                     : homeFolder() / ".config";
    std::ifstream in(file / "user-dirs.dirs");
    const std::string key = "XDG_PICTURES_DIR=\"";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) != 0 || line.back() != '"') {
            continue;
        }
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) {
            return homeFolder().string() + value.substr(5);
        }
        if (!value.empty() && value.front() == '/') {
            return value;
        }
    }
    return {};
}

// Names sort by the time of writing: Proofshot_20261206_135700_1.jpg.
std::string fileName(std::time_t when, int attempt) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &parts);
    return "Proofshot_" + std::string(stamp) + "_" + std::to_string(attempt) + ".jpg";
}

core::Expected<void> writeAll(int fd, const core::Bytes& bytes, const std::filesystem::path& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return core::Error::posix(errno, "Cannot write " + path.string());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return core::Error::posix(errno, "Cannot flush " + path.string());
    }
    return {};
}

// Moves the finished temporary file to `target` unless something is there already.
int placeWithoutReplacing(const std::filesystem::path& temporary,
                          const std::filesystem::path& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::link(temporary.c_str(), target.c_str()) != 0) {
        return errno;
    }
    ::unlink(temporary.c_str());
    return 0;
}

void syncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::shared_ptr<PhotoAlbum> PhotoAlbum::savedPhotos() {
    std::lock_guard lock(savedPhotosMutex);
    if (!savedPhotosAlbum) {
        savedPhotosAlbum = create(defaultFolder());
    }
    return savedPhotosAlbum;
}

void PhotoAlbum::setSavedPhotosFolder(std::filesystem::path folder) {
    std::lock_guard lock(savedPhotosMutex);
    savedPhotosAlbum = create(std::move(folder));
}

std::filesystem::path PhotoAlbum::defaultFolder() {
    std::filesystem::path pictures;
    if (const char* env = std::getenv("XDG_PICTURES_DIR"); env != nullptr && *env == '/') {
        pictures = env;
    } else {
        pictures = picturesFromUserDirs();
    }
    if (pictures.empty()) {
        pictures = homeFolder() / "Pictures";
    }
    return pictures / "Proofshot";
}

std::shared_ptr<PhotoAlbum> PhotoAlbum::create(std::filesystem::path folder) {
    return std::shared_ptr<PhotoAlbum>(new PhotoAlbum(std::move(folder)));
}

PhotoAlbum::PhotoAlbum(std::filesystem::path folder)
    : folder_(std::move(folder)), queue_(core::DispatchQueue::createSerial("ui.photo-album")) {}

core::Expected<std::filesystem::path> PhotoAlbum::write(const Image& image) {
    if (std::shared_ptr<const core::Bytes> jpeg = image.jpegData()) {
        return store(*jpeg);
    }
    core::Expected<core::Bytes> encoded = JPEGRepresentation(image, 1.0);
    if (!encoded) {
        return encoded.error();
    }
    return store(*encoded);
}

core::Expected<std::filesystem::path> PhotoAlbum::store(const core::Bytes& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        return core::Error::posix(ec.value(), "Cannot create the album folder " + folder_.string());
    }
    std::string pattern = (folder_ / ".incoming-XXXXXX").string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return core::Error::posix(errno, "Cannot create a file in " + folder_.string());
    }
    const std::filesystem::path temporary = pattern;
    core::Expected<void> written = writeAll(fd, bytes, temporary);
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        return written.error();
    }
    const std::time_t now = std::time(nullptr);
    for (int attempt = 1; attempt <= 100000; ++attempt) {
        const std::filesystem::path target = folder_ / fileName(now, attempt);
        int error = placeWithoutReplacing(temporary, target);
        if (error == 0) {
            syncFolder(folder_);
            return target;
        }
        if (error != EEXIST) {
            ::unlink(temporary.c_str());
            return core::Error::posix(error, "Cannot store " + target.string());
        }
    }
    ::unlink(temporary.c_str());
    return core::Error::posix(EEXIST, "No free file name in " + folder_.string());
}

void PhotoAlbum::writeInBackground(std::shared_ptr<const Image> image, WriteCompletion completion) {
    // The task holds the album, so a queued write is not lost when the caller lets go of it.
    queue_->async(
        [album = shared_from_this(), image = std::move(image), completion = std::move(completion)] {
            core::Expected<std::filesystem::path> result = album->write(*image);
            if (!result) {
                core::log("Could not save a picture to the album: " +
                          result.error().localizedDescription());
            }
            if (completion) {
                completion(result);
            }
        });
}

void PhotoAlbum::waitForPendingWrites() {
    queue_->sync([] {});
}

}  // namespace ui
