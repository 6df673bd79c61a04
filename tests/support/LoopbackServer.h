#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it off the wire.
struct RecordedRequest {
    std::string method;
    std::string target;  // path and query, as sent
    HeaderList headers;
    std::string body;    // de-chunked
    int connection = 0;  // which accepted connection carried it (1, 2, ...)

    std::optional<std::string> header(std::string_view name) const;  // case-insensitive
    std::string path() const;                                        // target without query
};

// What the server answers; every field has a plain default (200, empty body).
struct ScriptedResponse {
    int status = 200;
    HeaderList headers;
    std::string body;
    bool chunked = false;  // Transfer-Encoding: chunked, in pieces of chunkSize
    size_t chunkSize = 1024;
    std::chrono::milliseconds delayBeforeHeaders{0};
    std::chrono::milliseconds delayBetweenChunks{0};
    // Announce the full length, send this many body bytes, then drop the connection.
    std::optional<size_t> disconnectAfterBodyBytes;
    // Read the request, then close the connection without a byte of answer.
    bool closeWithoutAnswer = false;
    // Sent as it is in place of a well-formed answer (a broken status line, say), then the
    // connection is closed.
    std::optional<std::string> rawAnswer;

    static ScriptedResponse text(int status, std::string body,
                                 std::string contentType = "text/plain");
    static ScriptedResponse redirect(int status, std::string location);
    // 401 with one WWW-Authenticate challenge, e.g. `Basic realm="x"`.
    static ScriptedResponse challenge(std::string wwwAuthenticate, std::string body = {});
    // Serves `body` honouring a "Range: bytes=N-" or "bytes=N-M" header with 206.
    static ScriptedResponse ranged(const RecordedRequest& request, const std::string& body);
};

// An HTTP/1.1 server on 127.0.0.1 with a port of its own, for tests. Runs one thread to
// accept and one per connection (keep-alive); handlers run on those threads. Stops and joins
// everything in the destructor.
class LoopbackServer {
public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Exact match on the path (target without query). Unrouted paths get 404.
    void route(std::string path, Handler handler);

    int port() const { return port_; }
    std::string url(std::string_view target = "/") const;

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    int connectionCount() const { return connections_.load(); }
    // Answers whose sending has ended, completely or because the peer went away.
    int responsesCompleted() const { return completed_.load(); }

    // Answers `401 Basic` until the request carries these credentials, then `success`.
    static Handler basicAuth(std::string realm, std::string user, std::string password,
                             ScriptedResponse success);

    void stop();

private:
    void acceptLoop();
    void serveConnection(int fd, int id);
    bool waitOrStop(std::chrono::milliseconds delay);
    bool sendAll(int fd, std::string_view data);
    bool sendResponse(int fd, const RecordedRequest& request, const ScriptedResponse& response);
    ScriptedResponse dispatch(const RecordedRequest& request);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> completed_{0};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::map<std::string, Handler> routes_;  // guarded by mutex_
    std::vector<RecordedRequest> requests_;  // guarded by mutex_
    std::vector<std::thread> workers_;       // guarded by mutex_
    std::vector<int> openFds_;               // guarded by mutex_
};

}  // namespace test
