#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orderd/Result.h"
#include "orderd/Validation.h"

struct sqlite3;

namespace orderd {

struct Order {
    std::string number;
    std::string line1;
    std::string line2;
    std::string line3;
    std::string stockImage;
};

struct UploadRecord {
    std::int64_t id = 0;
    std::string orderNumber;
    Location location = Location::Before;
    std::uint32_t batchIndex = 0;
    std::string username;
    std::string receivedAt;  // UTC, ISO 8601
    std::uint64_t size = 0;
    std::string sha256;      // lowercase hex
    std::string storedPath;  // relative to the data directory
};

// The service's SQLite file: users, orders and uploads. One connection shared by all
// threads; every call takes the lock, and every value travels as a bound parameter.
class Database {
public:
    static Result<std::unique_ptr<Database>> open(const std::filesystem::path& file);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Status addUser(const std::string& name, const std::string& passwordHash);
    std::optional<std::string> passwordHash(const std::string& name);

    Status addOrder(const Order& order);
    std::optional<Order> findOrder(const std::string& number);

    Status addUpload(const UploadRecord& upload);
    std::vector<UploadRecord> uploads(const std::string& orderNumber);
    std::int64_t uploadCount();
    bool hasUploadAt(const std::string& storedPath);

private:
    explicit Database(sqlite3* db) : db_(db) {}
    Status execute(const char* sql);
    Error lastError(const char* what);

    std::mutex mutex_;
    sqlite3* db_;  // guarded by mutex_
};

}  // namespace orderd
