#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "orderd/CredentialChecker.h"
#include "orderd/Database.h"
#include "orderd/PhotoStore.h"
#include "orderd/Reply.h"
#include "orderd/Result.h"
#include "orderd/UploadExchange.h"
#include "orderd/UrlEncodedForm.h"

namespace orderd {

// Serving owns the data directory: one server at a time, and only it tidies up after a crash.
// Administering (adding users and orders, listing uploads) may run beside a live server.
enum class OpenMode { Administer, Serve };

// The service's answers, free of HTTP plumbing. Safe to call from several threads at once.
class OrderService {
public:
    // Opens (and creates if needed) the data directory: <data>/orderd.sqlite, photos/, stock/.
    static Result<std::unique_ptr<OrderService>> open(const std::filesystem::path& dataDir,
                                                      OpenMode mode = OpenMode::Administer);
    ~OrderService();

    Reply login(const FormFields& form);
    Reply orderDetails(const FormFields& form);
    Reply stockPicture(std::string_view fileName) const;

    std::unique_ptr<UploadExchange> beginUpload(std::uint32_t batchIndex, std::string boundary);
    // Judges a complete (or broken) upload; stores the photo only when every check passes.
    Reply finishUpload(UploadExchange& upload);

    // Photos found at start-up without a record: a crash came between storing the file and
    // recording it, so the client was never told it arrived. They are moved to unrecorded/.
    std::size_t unrecordedPhotosMoved() const { return unrecordedMoved_; }

    Database& database() { return *database_; }
    const PhotoStore& photos() const { return photos_; }
    static std::filesystem::path stockFolder(const std::filesystem::path& dataDir);

private:
    OrderService(std::unique_ptr<Database> database, PhotoStore photos);
    bool signedIn(const FormFields& form);
    void moveUnrecordedPhotos();
    Reply storeUpload(UploadExchange& upload, const std::string& username, const std::string& order,
                      Location location);

    std::unique_ptr<Database> database_;
    PhotoStore photos_;
    CredentialChecker credentials_;
    std::size_t unrecordedMoved_ = 0;
    int lockFd_ = -1;  // held while serving
};

}  // namespace orderd
