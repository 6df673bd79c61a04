#include "orderd/Database.h"

#include <sqlite3.h>

namespace orderd {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
    name          TEXT PRIMARY KEY,
    password_hash TEXT NOT NULL,
    created_at    TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))
);
CREATE TABLE IF NOT EXISTS orders (
    number      TEXT PRIMARY KEY,
    line1       TEXT NOT NULL,
    line2       TEXT NOT NULL,
    line3       TEXT NOT NULL,
    stock_image TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS uploads (
    id           INTEGER PRIMARY KEY,
    order_number TEXT NOT NULL REFERENCES orders(number),
    location     INTEGER NOT NULL CHECK (location IN (0, 1)),
    batch_index  INTEGER NOT NULL,
    username     TEXT NOT NULL,
    received_at  TEXT NOT NULL,
    size         INTEGER NOT NULL,
    sha256       TEXT NOT NULL,
    path         TEXT NOT NULL UNIQUE
);
CREATE INDEX IF NOT EXISTS uploads_by_order ON uploads(order_number, id);
)sql";

// Owns one prepared statement; binding by position keeps values out of the SQL text.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    Statement& bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    int step() { return sqlite3_step(stmt_); }
    std::string text(int column) const {
        auto* bytes = sqlite3_column_text(stmt_, column);
        return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                                   static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                     : std::string();
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

Result<std::unique_ptr<Database>> Database::open(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return Error{"cannot open database " + file.string() + ": " + message};
    }
    std::unique_ptr<Database> database(new Database(db));
    sqlite3_busy_timeout(db, 5000);
    // synchronous=FULL: an upload is answered only after its row has reached the disk.
    for (const char* sql : {"PRAGMA journal_mode=WAL;", "PRAGMA synchronous=FULL;",
                            "PRAGMA foreign_keys=ON;", kSchema}) {
        if (auto status = database->execute(sql); !status.ok()) {
            return status.error();
        }
    }
    return database;
}

Database::~Database() {
    sqlite3_close(db_);
}

Status Database::execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        Error error{std::string("database error: ") + (message ? message : "unknown")};
        sqlite3_free(message);
        return error;
    }
    return {};
}

Error Database::lastError(const char* what) {
    return Error{std::string(what) + ": " + sqlite3_errmsg(db_)};
}

Status Database::addUser(const std::string& name, const std::string& passwordHash) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_, "INSERT INTO users (name, password_hash) VALUES (?1, ?2)");
    if (!stmt.valid()) {
        return lastError("cannot add user");
    }
    int rc = stmt.bind(1, name).bind(2, passwordHash).step();
    if (rc == SQLITE_CONSTRAINT) {
        return Error{"user '" + name + "' already exists"};
    }
    return rc == SQLITE_DONE ? Status{} : Status{lastError("cannot add user")};
}

std::optional<std::string> Database::passwordHash(const std::string& name) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_, "SELECT password_hash FROM users WHERE name = ?1");
    if (!stmt.valid() || stmt.bind(1, name).step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return stmt.text(0);
}

Status Database::addOrder(const Order& order) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "INSERT INTO orders (number, line1, line2, line3, stock_image) "
                   "VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!stmt.valid()) {
        return lastError("cannot add order");
    }
    stmt.bind(1, order.number).bind(2, order.line1).bind(3, order.line2).bind(4, order.line3);
    int rc = stmt.bind(5, order.stockImage).step();
    if (rc == SQLITE_CONSTRAINT) {
        return Error{"order '" + order.number + "' already exists"};
    }
    return rc == SQLITE_DONE ? Status{} : Status{lastError("cannot add order")};
}

std::optional<Order> Database::findOrder(const std::string& number) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "SELECT number, line1, line2, line3, stock_image FROM orders "
                   "WHERE number = ?1");
    if (!stmt.valid() || stmt.bind(1, number).step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return Order{stmt.text(0), stmt.text(1), stmt.text(2), stmt.text(3), stmt.text(4)};
}

Status Database::addUpload(const UploadRecord& upload) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "INSERT INTO uploads (order_number, location, batch_index, username, "
                   "received_at, size, sha256, path) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    if (!stmt.valid()) {
        return lastError("cannot record upload");
    }
    stmt.bind(1, upload.orderNumber)
        .bind(2, static_cast<std::int64_t>(upload.location))
        .bind(3, static_cast<std::int64_t>(upload.batchIndex))
        .bind(4, upload.username)
        .bind(5, upload.receivedAt)
        .bind(6, static_cast<std::int64_t>(upload.size))
        .bind(7, upload.sha256)
        .bind(8, upload.storedPath);
    return stmt.step() == SQLITE_DONE ? Status{} : Status{lastError("cannot record upload")};
}

std::vector<UploadRecord> Database::uploads(const std::string& orderNumber) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_,
                   "SELECT id, order_number, location, batch_index, username, received_at, "
                   "size, sha256, path FROM uploads WHERE order_number = ?1 ORDER BY id");
    std::vector<UploadRecord> records;
    if (!stmt.valid()) {
        return records;
    }
    stmt.bind(1, orderNumber);
    while (stmt.step() == SQLITE_ROW) {
        UploadRecord r;
        r.id = stmt.integer(0);
        r.orderNumber = stmt.text(1);
        r.location = stmt.integer(2) == 1 ? Location::After : Location::Before;
        r.batchIndex = static_cast<std::uint32_t>(stmt.integer(3));
        r.username = stmt.text(4);
        r.receivedAt = stmt.text(5);
        r.size = static_cast<std::uint64_t>(stmt.integer(6));
        r.sha256 = stmt.text(7);
        r.storedPath = stmt.text(8);
        records.push_back(std::move(r));
    }
    return records;
}

std::int64_t Database::uploadCount() {
    std::lock_guard lock(mutex_);
    Statement stmt(db_, "SELECT count(*) FROM uploads");
    return stmt.valid() && stmt.step() == SQLITE_ROW ? stmt.integer(0) : -1;
}

bool Database::hasUploadAt(const std::string& storedPath) {
    std::lock_guard lock(mutex_);
    Statement stmt(db_, "SELECT 1 FROM uploads WHERE path = ?1");
    return stmt.valid() && stmt.bind(1, storedPath).step() == SQLITE_ROW;
}

}  // namespace orderd
