#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace test {
namespace {

constexpr int kPollSliceMs = 50;
constexpr size_t kMaxHeaderBytes = 64 * 1024;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(std::string_view text) {
    auto begin = text.find_first_not_of(" \t");
    auto end = text.find_last_not_of(" \t\r");
    return begin == std::string_view::npos ? std::string{}
                                           : std::string(text.substr(begin, end - begin + 1));
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        default:
            return "Status";
    }
}

// Reads from a socket with a buffer, giving up when the server stops or the peer closes.
class SocketReader {
public:
    SocketReader(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}

    std::optional<std::string> line() {
        while (true) {
            auto end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                std::string text = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return text;
            }
            if (buffer_.size() > kMaxHeaderBytes || !fill()) {
                return std::nullopt;
            }
        }
    }

    std::optional<std::string> exactly(size_t count) {
        while (buffer_.size() < count) {
            if (!fill()) {
                return std::nullopt;
            }
        }
        std::string text = buffer_.substr(0, count);
        buffer_.erase(0, count);
        return text;
    }

private:
    bool fill() {
        while (!stopping_.load()) {
            pollfd entry{fd_, POLLIN, 0};
            int ready = ::poll(&entry, 1, kPollSliceMs);
            if (ready < 0) {
                return false;
            }
            if (ready == 0) {
                continue;
            }
            char chunk[16384];
            ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return false;
            }
            buffer_.append(chunk, static_cast<size_t>(got));
            return true;
        }
        return false;
    }

    int fd_;
    const std::atomic<bool>& stopping_;
    std::string buffer_;
};

std::optional<std::string> readChunkedBody(SocketReader& reader) {
    std::string body;
    while (true) {
        auto sizeLine = reader.line();
        if (!sizeLine) {
            return std::nullopt;
        }
        size_t size = std::strtoul(sizeLine->c_str(), nullptr, 16);
        if (size == 0) {
            while (auto trailer = reader.line()) {
                if (trailer->empty()) {
                    return body;
                }
            }
            return std::nullopt;
        }
        auto data = reader.exactly(size + 2);
        if (!data) {
            return std::nullopt;
        }
        body.append(*data, 0, size);
    }
}

std::optional<RecordedRequest> readRequest(SocketReader& reader, int fd) {
    auto requestLine = reader.line();
    if (!requestLine || requestLine->empty()) {
        return std::nullopt;
    }
    RecordedRequest request;
    auto firstSpace = requestLine->find(' ');
    auto secondSpace = requestLine->find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos) {
        return std::nullopt;
    }
    request.method = requestLine->substr(0, firstSpace);
    request.target = requestLine->substr(firstSpace + 1, secondSpace - firstSpace - 1);
    while (auto line = reader.line()) {
        if (line->empty()) {
            break;
        }
        auto colon = line->find(':');
        if (colon != std::string::npos) {
            request.headers.emplace_back(line->substr(0, colon), trim(line->substr(colon + 1)));
        }
    }
    if (auto expect = request.header("Expect");
        expect && equalsIgnoringCase(*expect, "100-continue")) {
        static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        ::send(fd, kContinue.data(), kContinue.size(), MSG_NOSIGNAL);
    }
    auto encoding = request.header("Transfer-Encoding");
    if (encoding && equalsIgnoringCase(*encoding, "chunked")) {
        auto body = readChunkedBody(reader);
        if (!body) {
            return std::nullopt;
        }
        request.body = std::move(*body);
    } else if (auto length = request.header("Content-Length")) {
        auto body = reader.exactly(std::stoul(*length));
        if (!body) {
            return std::nullopt;
        }
        request.body = std::move(*body);
    }
    return request;
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::string RecordedRequest::path() const {
    return target.substr(0, target.find('?'));
}

ScriptedResponse ScriptedResponse::text(int status, std::string body, std::string contentType) {
    ScriptedResponse response;
    response.status = status;
    response.headers.emplace_back("Content-Type", std::move(contentType));
    response.body = std::move(body);
    return response;
}

ScriptedResponse ScriptedResponse::redirect(int status, std::string location) {
    ScriptedResponse response = text(status, "moved");
    response.headers.emplace_back("Location", std::move(location));
    return response;
}

ScriptedResponse ScriptedResponse::challenge(std::string wwwAuthenticate, std::string body) {
    ScriptedResponse response = text(401, std::move(body));
    response.headers.emplace_back("WWW-Authenticate", std::move(wwwAuthenticate));
    return response;
}

ScriptedResponse ScriptedResponse::ranged(const RecordedRequest& request, const std::string& body) {
    auto range = request.header("Range");
    if (!range || !range->starts_with("bytes=")) {
        return text(200, body, "application/octet-stream");
    }
    size_t first = std::stoul(range->substr(6));
    auto dash = range->find('-');
    size_t last = body.empty() ? 0 : body.size() - 1;
    if (dash != std::string::npos && dash + 1 < range->size()) {
        last = std::min(last, static_cast<size_t>(std::stoul(range->substr(dash + 1))));
    }
    if (first >= body.size() || first > last) {
        ScriptedResponse refused = text(416, "");
        refused.headers.emplace_back("Content-Range", "bytes */" + std::to_string(body.size()));
        return refused;
    }
    ScriptedResponse partial =
        text(206, body.substr(first, last - first + 1), "application/octet-stream");
    partial.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                      std::to_string(last) + "/" +
                                                      std::to_string(body.size()));
    return partial;
}

LoopbackServer::LoopbackServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::runtime_error("loopback server: cannot create a socket");
    }
    int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("loopback server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stop();
}

void LoopbackServer::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    stopped_.notify_all();
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_) {
            ::shutdown(fd, SHUT_RDWR);
        }
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    ::close(listenFd_);
}

void LoopbackServer::route(std::string path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[std::move(path)] = std::move(handler);
}

std::string LoopbackServer::url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t LoopbackServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

LoopbackServer::Handler LoopbackServer::basicAuth(std::string realm, std::string user,
                                                  std::string password, ScriptedResponse success) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain = user + ":" + password;
    std::string encoded;
    for (size_t i = 0; i < plain.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(plain[i]) << 16;
        size_t left = plain.size() - i;
        if (left > 1)
            group |= static_cast<uint8_t>(plain[i + 1]) << 8;
        if (left > 2)
            group |= static_cast<uint8_t>(plain[i + 2]);
        encoded += kAlphabet[(group >> 18) & 63];
        encoded += kAlphabet[(group >> 12) & 63];
        encoded += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        encoded += left > 2 ? kAlphabet[group & 63] : '=';
    }
    std::string expected = "Basic " + encoded;
    return [expected, realm, success](const RecordedRequest& request) {
        if (request.header("Authorization") == expected) {
            return success;
        }
        return ScriptedResponse::challenge("Basic realm=\"" + realm + "\"", "denied");
    };
}

void LoopbackServer::acceptLoop() {
    while (!stopping_.load()) {
        pollfd entry{listenFd_, POLLIN, 0};
        if (::poll(&entry, 1, kPollSliceMs) <= 0) {
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // An answer goes out in several sends; without this, a kept-alive client waits out
        // the peer's delayed ACK on each one.
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        int id = ++connections_;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd, id] { serveConnection(fd, id); });
    }
}

void LoopbackServer::serveConnection(int fd, int id) {
    SocketReader reader(fd, stopping_);
    while (auto request = readRequest(reader, fd)) {
        request->connection = id;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        ScriptedResponse response = dispatch(*request);
        bool keepAlive = !equalsIgnoringCase(request->header("Connection").value_or(""), "close");
        bool sent = sendResponse(fd, *request, response);
        ++completed_;
        if (!sent || !keepAlive) {
            break;
        }
    }
    std::lock_guard lock(mutex_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
}

ScriptedResponse LoopbackServer::dispatch(const RecordedRequest& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        auto found = routes_.find(request.path());
        if (found != routes_.end()) {
            handler = found->second;
        }
    }
    return handler ? handler(request) : ScriptedResponse::text(404, "no route");
}

bool LoopbackServer::waitOrStop(std::chrono::milliseconds delay) {
    if (delay.count() <= 0) {
        return !stopping_.load();
    }
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, delay, [this] { return stopping_.load(); });
}

bool LoopbackServer::sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

bool LoopbackServer::sendResponse(int fd, const RecordedRequest& request,
                                  const ScriptedResponse& response) {
    if (response.closeWithoutAnswer || !waitOrStop(response.delayBeforeHeaders)) {
        return false;
    }
    if (response.rawAnswer) {
        sendAll(fd, *response.rawAnswer);
        return false;
    }
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       reasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += response.chunked ? "Transfer-Encoding: chunked\r\n"
                             : "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    head += "\r\n";
    if (!sendAll(fd, head)) {
        return false;
    }
    std::string_view body = request.method == "HEAD" ? std::string_view{} : response.body;
    if (response.disconnectAfterBodyBytes) {
        sendAll(fd, body.substr(0, *response.disconnectAfterBodyBytes));
        return false;
    }
    if (!response.chunked) {
        return sendAll(fd, body);
    }
    for (size_t offset = 0; offset < body.size(); offset += response.chunkSize) {
        auto piece = body.substr(offset, response.chunkSize);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        if (!sendAll(fd, size) || !sendAll(fd, piece) || !sendAll(fd, "\r\n") ||
            !waitOrStop(response.delayBetweenChunks)) {
            return false;
        }
    }
    return sendAll(fd, "0\r\n\r\n");
}

}  // namespace test
