#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "orderd/Result.h"
#include "orderd/TempPhoto.h"
#include "orderd/Validation.h"

namespace orderd {

// Photos live under <data>/photos/<order>/before|after/ with unique names. They are written
// under <data>/tmp/, flushed, and renamed into place without replacing anything, so a crash
// never leaves half a photo under a final name and two uploads never overwrite each other.
class PhotoStore {
public:
    // Creates the folders.
    static Result<PhotoStore> open(const std::filesystem::path& dataDir);
    // Removes temporary files a previous run left behind; only for the one serving process.
    void removeLeftovers() const;

    Result<TempPhoto> createTemp() const;
    // Returns the stored path, relative to the data directory. `order` must be valid.
    Result<std::string> commit(TempPhoto& photo, const std::string& order, Location location,
                               std::uint32_t batchIndex) const;
    // Removes a committed photo whose record could not be written.
    void discard(const std::string& relativePath) const;

    const std::filesystem::path& dataDir() const { return dataDir_; }

private:
    explicit PhotoStore(std::filesystem::path dataDir) : dataDir_(std::move(dataDir)) {}
    Status makeFolder(const std::filesystem::path& folder) const;

    std::filesystem::path dataDir_;
};

}  // namespace orderd
