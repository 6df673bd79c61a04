#include "orderd/OrderService.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <ctime>
#include <vector>

#include "orderd/Jpeg.h"
#include "orderd/Validation.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

std::string isoNow() {
    auto now = std::chrono::system_clock::now();
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    std::array<char, 40> text{};
    auto used = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text.data() + used, text.size() - used, ".%03dZ",
                  static_cast<int>(millis.count() % 1000));
    return text.data();
}

std::string fieldOr(const FormFields& form, const char* name) {
    auto it = form.find(name);
    return it == form.end() ? std::string() : it->second;
}

Result<int> lockDataDir(const fs::path& dataDir) {
    auto path = dataDir / "orderd.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        return Error{"cannot open " + path.string()};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return Error{"another proofshot-orderd is serving " + dataDir.string()};
    }
    return fd;
}

}  // namespace

Result<std::unique_ptr<OrderService>> OrderService::open(const fs::path& dataDir, OpenMode mode) {
    std::error_code ec;
    fs::create_directories(dataDir, ec);
    fs::create_directories(stockFolder(dataDir), ec);
    if (ec) {
        return Error{"cannot create data directory " + dataDir.string() + ": " + ec.message()};
    }
    auto database = Database::open(dataDir / "orderd.sqlite");
    if (!database.ok()) {
        return database.error();
    }
    auto photos = PhotoStore::open(dataDir);
    if (!photos.ok()) {
        return photos.error();
    }
    std::unique_ptr<OrderService> service(
        new OrderService(std::move(database.value()), std::move(photos.value())));
    if (mode == OpenMode::Serve) {
        auto lock = lockDataDir(dataDir);
        if (!lock.ok()) {
            return lock.error();
        }
        service->lockFd_ = lock.value();
        service->photos_.removeLeftovers();
        service->moveUnrecordedPhotos();
    }
    return service;
}

OrderService::~OrderService() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

void OrderService::moveUnrecordedPhotos() {
    const auto& dataDir = photos_.dataDir();
    std::error_code ec;
    std::vector<fs::path> unrecorded;
    for (const auto& entry : fs::recursive_directory_iterator(dataDir / "photos", ec)) {
        auto relative = entry.path().lexically_relative(dataDir);
        if (entry.is_regular_file() && !database_->hasUploadAt(relative.string())) {
            unrecorded.push_back(relative);
        }
    }
    for (const auto& relative : unrecorded) {
        auto target = dataDir / "unrecorded" / relative.lexically_relative("photos");
        fs::create_directories(target.parent_path(), ec);
        fs::rename(dataDir / relative, target, ec);
        unrecordedMoved_ += ec ? 0 : 1;
    }
}

OrderService::OrderService(std::unique_ptr<Database> database, PhotoStore photos)
    : database_(std::move(database)), photos_(std::move(photos)), credentials_(*database_) {}

fs::path OrderService::stockFolder(const fs::path& dataDir) {
    return dataDir / "stock";
}

bool OrderService::signedIn(const FormFields& form) {
    auto user = form.find("username");
    auto password = form.find("password");
    return user != form.end() && password != form.end() &&
           credentials_.verify(user->second, password->second);
}

Reply OrderService::login(const FormFields& form) {
    return Reply::text(200, signedIn(form) ? "SUCCESS" : "INVALID");
}

Reply OrderService::orderDetails(const FormFields& form) {
    if (!signedIn(form)) {
        return Reply::text(200, "INVALID");
    }
    auto number = fieldOr(form, "order");
    auto order = isValidOrderNumber(number) ? database_->findOrder(number) : std::nullopt;
    if (!order) {
        return Reply::text(200, "NOTFOUND");
    }
    return Reply::text(200, "SUCCESS," + order->line1 + "," + order->line2 + "," + order->line3 +
                                "," + order->stockImage);
}

Reply OrderService::stockPicture(std::string_view fileName) const {
    if (!isValidStockName(fileName)) {
        return Reply::text(404, "not found");
    }
    Reply reply;
    reply.file = stockFolder(photos_.dataDir()) / std::string(fileName);
    reply.contentType = stockContentType(fileName);
    return reply;
}

std::unique_ptr<UploadExchange> OrderService::beginUpload(std::uint32_t batchIndex,
                                                          std::string boundary) {
    return std::make_unique<UploadExchange>(photos_, batchIndex, std::move(boundary));
}

Reply OrderService::finishUpload(UploadExchange& upload) {
    if (upload.outcome() == UploadExchange::Outcome::StorageFailed) {
        return Reply::text(500, "cannot store the photo");
    }
    if (upload.outcome() == UploadExchange::Outcome::Malformed) {
        return Reply::text(400, "malformed body: " + upload.problem());
    }
    if (!upload.isComplete()) {
        return Reply::text(400, "malformed body: the multipart body ends early");
    }
    for (const char* name : {"username", "password", "order", "location"}) {
        if (!upload.field(name)) {
            return Reply::text(400, std::string("missing field '") + name + "'");
        }
    }
    if (!upload.photo()) {
        return Reply::text(400, "missing file part 'file'");
    }
    auto username = *upload.field("username");
    if (!credentials_.verify(username, *upload.field("password"))) {
        return Reply::text(401, "INVALID");
    }
    auto order = *upload.field("order");
    auto location = parseLocation(*upload.field("location"));
    if (!isValidOrderNumber(order)) {
        return Reply::text(400, "bad order number");
    }
    if (!location) {
        return Reply::text(400, "bad location: must be 0 (before) or 1 (after)");
    }
    if (!database_->findOrder(order)) {
        return Reply::text(404, "NOTFOUND");
    }
    return storeUpload(upload, username, order, *location);
}

Reply OrderService::storeUpload(UploadExchange& upload, const std::string& username,
                                const std::string& order, Location location) {
    TempPhoto& photo = *upload.photo();
    if (auto status = photo.finish(); !status.ok()) {
        return Reply::text(500, "cannot store the photo");
    }
    if (!isJpegFile(photo.path())) {
        return Reply::text(415, "the file is not a JPEG");
    }
    auto stored = photos_.commit(photo, order, location, upload.batchIndex());
    if (!stored.ok()) {
        return Reply::text(500, "cannot store the photo");
    }
    UploadRecord record{0,        order,        location,       upload.batchIndex(), username,
                        isoNow(), photo.size(), photo.sha256(), stored.value()};
    if (auto status = database_->addUpload(record); !status.ok()) {
        photos_.discard(stored.value());  // unrecorded photos must not linger
        return Reply::text(500, "cannot record the upload");
    }
    return Reply::text(200, "SUCCESS");
}

}  // namespace orderd
