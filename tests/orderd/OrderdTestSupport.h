#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "orderd/AccessLog.h"
#include "orderd/HttpServer.h"
#include "orderd/OrderService.h"
#include "tests/orderd/TempDir.h"

namespace orderd::test {

inline constexpr const char* kUser = "ana";
inline constexpr const char* kPassword = "correct-horse-7";
inline constexpr const char* kBoundary = "Boundary+0xAbCdEfGbOuNdArY";

// A service with one user (kUser) and orders "1001" and "1002", serving on a free loopback port.
class TestServer {
public:
    explicit TestServer(ServerOptions options = {});
    ~TestServer();

    std::string baseUrl() const;
    std::uint16_t port() const { return server_->port(); }
    HttpServer& http() { return *server_; }
    OrderService& service() { return *service_; }
    const std::filesystem::path& dataDir() const { return dir_.path(); }
    std::string accessLog() const;
    // Regular files under photos/ and tmp/.
    std::size_t storedFileCount() const;
    // Waits (with a deadline) until no request is between its headers and its completion.
    bool waitUntilIdle();

private:
    TempDir dir_;
    std::FILE* logFile_;
    std::unique_ptr<AccessLog> log_;
    std::unique_ptr<OrderService> service_;
    std::unique_ptr<HttpServer> server_;
};

struct Answer {
    long status = 0;  // 0: no HTTP answer at all
    std::string body;
    std::string contentType;
};

using Fields = std::vector<std::pair<std::string, std::string>>;

Answer postForm(const std::string& url, const Fields& fields);
// Over HTTPS, trusting only `certificatePem`.
Answer postFormTls(const std::string& url, const Fields& fields, const std::string& certificatePem);

// A fresh self-signed certificate for 127.0.0.1 and its key, both PEM.
struct TlsIdentity {
    std::string certificatePem;
    std::string keyPem;
};
TlsIdentity makeSelfSignedIdentity();
Answer postBody(const std::string& url, const std::string& contentType, const std::string& body);
// The same over `curl`, which keeps its connection for the next request.
Answer postBody(CURL* curl, const std::string& url, const std::string& contentType,
                const std::string& body);
Answer get(const std::string& url);

// The body the app sends for one photo: its text parts, then the file part "file".
std::string appUploadBody(const Fields& fields, const std::optional<std::string>& jpeg);
std::string appContentType();
// The standard upload fields for kUser, with one value replaced or removed (nullopt).
Fields uploadFields(const std::string& order = "1001", const std::string& location = "0");

// A valid JPEG of exactly `size` bytes whose bytes depend on `seed`.
std::string jpegOfSize(std::uint32_t seed, std::size_t size);
std::string sha256Hex(const std::string& bytes);
std::string readFile(const std::filesystem::path& file);

// Polls `condition` until it holds or the deadline passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds deadline = std::chrono::seconds(10));

// A plain TCP connection for the cases no well-behaved client produces.
class RawConnection {
public:
    explicit RawConnection(std::uint16_t port);
    ~RawConnection();
    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Everything received until the peer closes or the deadline passes.
    std::string receiveAll(std::chrono::milliseconds deadline);
    // True when the peer has closed (reads EOF) before the deadline.
    bool closedByPeer(std::chrono::milliseconds deadline);

private:
    int fd_ = -1;
};

}  // namespace orderd::test
