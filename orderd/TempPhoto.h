#pragma once

#include <sodium.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "orderd/Result.h"

namespace orderd {

// An incoming photo being written under a temporary name, hashed as it arrives. It is never
// visible under a final name until PhotoStore commits it; dropped uncommitted, it is removed.
class TempPhoto {
public:
    TempPhoto(int fd, std::filesystem::path path);
    ~TempPhoto();
    TempPhoto(TempPhoto&& other) noexcept;
    TempPhoto& operator=(TempPhoto&&) = delete;
    TempPhoto(const TempPhoto&) = delete;
    TempPhoto& operator=(const TempPhoto&) = delete;

    Status write(std::string_view bytes);
    // Flushes the bytes to the disk and closes the file; the hash is final from here on.
    Status finish();

    const std::filesystem::path& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    const std::string& sha256() const { return sha256_; }
    // Called once the file has been renamed: the temporary name no longer exists.
    void released() { path_.clear(); }

private:
    int fd_;
    std::filesystem::path path_;
    std::uint64_t size_ = 0;
    crypto_hash_sha256_state hash_;
    std::string sha256_;
};

}  // namespace orderd
