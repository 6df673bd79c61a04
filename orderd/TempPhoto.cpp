#include "orderd/TempPhoto.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace orderd {

TempPhoto::TempPhoto(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {
    crypto_hash_sha256_init(&hash_);
}

TempPhoto::TempPhoto(TempPhoto&& other) noexcept
    : fd_(other.fd_),
      path_(std::move(other.path_)),
      size_(other.size_),
      hash_(other.hash_),
      sha256_(std::move(other.sha256_)) {
    other.fd_ = -1;
    other.path_.clear();
}

TempPhoto::~TempPhoto() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
    }
}

Status TempPhoto::write(std::string_view bytes) {
    crypto_hash_sha256_update(&hash_, reinterpret_cast<const unsigned char*>(bytes.data()),
                              bytes.size());
    size_ += bytes.size();
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Error{std::string("cannot write photo: ") + std::strerror(errno)};
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Status TempPhoto::finish() {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest;
    crypto_hash_sha256_final(&hash_, digest.data());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex;
    sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
    sha256_ = hex.data();
    bool synced = ::fsync(fd_) == 0;
    int error = errno;
    bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed) {
        return Error{std::string("cannot flush photo: ") + std::strerror(synced ? errno : error)};
    }
    return {};
}

}  // namespace orderd
