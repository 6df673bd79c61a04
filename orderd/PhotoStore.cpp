#include "orderd/PhotoStore.h"

#include <fcntl.h>
#include <sodium.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace orderd {
namespace {

namespace fs = std::filesystem;

std::string randomHex(std::size_t bytes) {
    std::array<unsigned char, 16> raw{};
    randombytes_buf(raw.data(), bytes);
    std::array<char, 33> hex{};
    sodium_bin2hex(hex.data(), hex.size(), raw.data(), bytes);
    return hex.data();
}

std::string utcStamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y%m%dT%H%M%SZ", &tm);
    return text.data();
}

Status syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Error{"cannot open " + folder.string() + ": " + std::strerror(errno)};
    }
    int rc = ::fsync(fd);
    ::close(fd);
    return rc == 0 ? Status{} : Status{Error{"cannot flush " + folder.string()}};
}

}  // namespace

Result<PhotoStore> PhotoStore::open(const fs::path& dataDir) {
    if (sodium_init() < 0) {
        return Error{"cannot initialise libsodium"};
    }
    PhotoStore store(dataDir);
    for (const char* folder : {"photos", "tmp"}) {
        if (auto status = store.makeFolder(dataDir / folder); !status.ok()) {
            return status.error();
        }
    }
    return store;
}

void PhotoStore::removeLeftovers() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dataDir_ / "tmp", ec)) {
        fs::remove(entry.path(), ec);
    }
}

Status PhotoStore::makeFolder(const fs::path& folder) const {
    if (::mkdir(folder.c_str(), 0750) == 0) {
        return syncFolder(folder.parent_path());  // the new entry must survive a crash too
    }
    if (errno == EEXIST) {
        return {};
    }
    return Error{"cannot create " + folder.string() + ": " + std::strerror(errno)};
}

Result<TempPhoto> PhotoStore::createTemp() const {
    auto path = dataDir_ / "tmp" / ("upload-" + randomHex(12) + ".part");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd < 0) {
        return Error{"cannot create " + path.string() + ": " + std::strerror(errno)};
    }
    return TempPhoto(fd, path);
}

Result<std::string> PhotoStore::commit(TempPhoto& photo, const std::string& order,
                                       Location location, std::uint32_t batchIndex) const {
    auto relativeFolder = fs::path("photos") / order / locationFolder(location);
    for (const auto& folder : {dataDir_ / "photos" / order, dataDir_ / relativeFolder}) {
        if (auto status = makeFolder(folder); !status.ok()) {
            return status.error();
        }
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto name = utcStamp() + "-" + std::to_string(batchIndex) + "-" + randomHex(8) + ".jpg";
        auto relative = relativeFolder / name;
        auto target = dataDir_ / relative;
        if (::renameat2(AT_FDCWD, photo.path().c_str(), AT_FDCWD, target.c_str(),
                        RENAME_NOREPLACE) == 0) {
            photo.released();
            if (auto status = syncFolder(target.parent_path()); !status.ok()) {
                ::unlink(target.c_str());
                return status.error();
            }
            return relative.string();
        }
        if (errno != EEXIST) {
            return Error{"cannot store photo: " + std::string(std::strerror(errno))};
        }
    }
    return Error{"cannot find a free photo name"};
}

void PhotoStore::discard(const std::string& relativePath) const {
    ::unlink((dataDir_ / relativePath).c_str());
}

}  // namespace orderd
