#include "tests/support/FaultProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace test {
namespace {

constexpr int kPollMilliseconds = 20;
// A request line longer than this is relayed faithfully, unread.
constexpr std::size_t kMaxRequestLine = 8 * 1024;

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() { reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Closing with a zero linger time sends RST instead of FIN.
    void resetHard() {
        if (fd_ >= 0) {
            linger hard{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            reset();
        }
    }

private:
    int fd_;
};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int connectTo(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool waitFor(int fd, short events, const std::atomic<bool>& stopping) {
    while (!stopping.load()) {
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, kPollMilliseconds);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

// Sends everything unless the peer goes away or the proxy stops; a peer that stops reading
// cannot hold the proxy's destructor.
bool sendAll(int fd, std::string_view data, const std::atomic<bool>& stopping) {
    while (!data.empty()) {
        if (!waitFor(fd, POLLOUT, stopping)) {
            return false;
        }
        ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string rewriteContentLength(const std::string& head, const std::string& length) {
    std::string out;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        end = end == std::string::npos ? head.size() : end + 2;
        std::string line = head.substr(start, end - start);
        if (lowered(line).starts_with("content-length:")) {
            line = "Content-Length: " + length + "\r\n";
        }
        out += line;
        start = end;
    }
    return out;
}

// The length of a request (head and body) once its head is complete. Only bodies announced by
// Content-Length are understood; a request without one has none.
std::optional<std::size_t> requestLength(const std::string& request) {
    const std::size_t headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        return std::nullopt;
    }
    const std::string head = lowered(request.substr(0, headEnd + 2));
    const std::size_t field = head.find("\r\ncontent-length:");
    const std::size_t body =
        field == std::string::npos ? 0 : std::strtoull(head.c_str() + field + 17, nullptr, 10);
    return headEnd + 4 + body;
}

}  // namespace

// One relayed connection and what the plan does to it.
struct FaultProxy::Pipe {
    Pipe(FaultProxy& proxy, const Plan& plan, int client, int server)
        : proxy(proxy),
          plan(plan),
          client(client),
          server(server),
          choosing(static_cast<bool>(proxy.chooser_)) {}

    FaultProxy& proxy;
    const std::atomic<bool>& stopping = proxy.stopping_;
    Plan plan;
    Socket client;
    Socket server;
    std::size_t requestBytes = 0;
    std::size_t answerBytes = 0;
    std::string head;  // answer bytes held back until the part the fault rewrites is complete
    bool headDone = false;
    bool choosing;        // a request has begun whose plan is not chosen yet
    std::string request;  // its bytes so far, while choosing or while the proxy answers it

    enum class Step { Continue, End };

    void applied() { proxy.faults_.fetch_add(1); }

    Step fromClient(std::string_view bytes) {
        if (proxy.chooser_ && answerBytes > 0) {
            beginRequest();
        }
        if (!choosing) {
            return forward(bytes);
        }
        request += bytes;
        const std::size_t lineEnd = request.find("\r\n");
        if (lineEnd == std::string::npos && request.size() < kMaxRequestLine) {
            return Step::Continue;
        }
        plan = lineEnd == std::string::npos
                   ? Plan{}
                   : proxy.chooser_(std::string_view(request).substr(0, lineEnd));
        choosing = false;
        const std::string held = std::move(request);
        request.clear();
        return forward(held);
    }

    void beginRequest() {
        requestBytes = 0;
        answerBytes = 0;
        head.clear();
        headDone = false;
        choosing = true;
    }

    Step forward(std::string_view bytes) {
        const bool cuts =
            plan.fault == Fault::CloseMidUpload || plan.fault == Fault::ResetMidUpload;
        if (cuts && requestBytes + bytes.size() >= plan.afterBytes) {
            sendAll(server.fd(), bytes.substr(0, plan.afterBytes - requestBytes), stopping);
            applied();
            if (plan.fault == Fault::ResetMidUpload) {
                client.resetHard();
            }
            return Step::End;
        }
        requestBytes += bytes.size();
        if (plan.fault == Fault::ServiceUnavailable) {
            return answerItself(bytes);
        }
        return sendAll(server.fd(), bytes, stopping) ? Step::Continue : Step::End;
    }

    // Closing with the request only partly read would reset the connection instead, so the
    // answer waits for the whole body its head announced.
    Step answerItself(std::string_view bytes) {
        request += bytes;
        const auto length = requestLength(request);
        if (!length || request.size() < *length) {
            return Step::Continue;
        }
        static constexpr std::string_view kAnswer =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
            "Content-Length: 12\r\nConnection: close\r\n\r\nunavailable\n";
        applied();
        sendAll(client.fd(), kAnswer, stopping);
        return Step::End;
    }

    Step fromServer(std::string_view bytes) {
        switch (plan.fault) {
            case Fault::CloseMidResponse:
            case Fault::Reset:
            case Fault::Stall:
                return cutAnswer(bytes);
            case Fault::RewriteContentLength:
            case Fault::GarbageStatusLine:
            case Fault::EndlessHeader:
                return rewriteHead(bytes);
            default:
                return toClient(bytes);
        }
    }

    Step toClient(std::string_view bytes) {
        answerBytes += bytes.size();
        return sendAll(client.fd(), bytes, stopping) ? Step::Continue : Step::End;
    }

    Step cutAnswer(std::string_view bytes) {
        if (answerBytes + bytes.size() < plan.afterBytes) {
            return toClient(bytes);
        }
        toClient(bytes.substr(0, plan.afterBytes - answerBytes));
        applied();
        if (plan.fault == Fault::Reset) {
            client.resetHard();
        } else if (plan.fault == Fault::Stall) {
            stall();
        }
        return Step::End;
    }

    // Holds the connection open, relaying nothing, until the client gives up or the proxy stops.
    void stall() {
        proxy.stalling_.fetch_add(1);
        char sink[4096];
        while (waitFor(client.fd(), POLLIN, stopping)) {
            if (::recv(client.fd(), sink, sizeof sink, 0) <= 0) {
                break;
            }
        }
        proxy.stalling_.fetch_sub(1);
    }

    Step rewriteHead(std::string_view bytes) {
        if (headDone) {
            return toClient(bytes);
        }
        head += bytes;
        const std::string_view end =
            plan.fault == Fault::RewriteContentLength ? "\r\n\r\n" : "\r\n";
        const std::size_t at = head.find(end);
        if (at == std::string::npos) {
            return Step::Continue;
        }
        headDone = true;
        applied();
        const std::string rest = head.substr(at + end.size());
        const std::string first = head.substr(0, at + end.size());
        head.clear();
        if (plan.fault == Fault::RewriteContentLength) {
            return toClient(rewriteContentLength(first, plan.contentLength) + rest);
        }
        if (plan.fault == Fault::GarbageStatusLine) {
            return toClient(plan.garbage + "\r\n" + rest);
        }
        return endlessHeader(first);
    }

    Step endlessHeader(const std::string& statusLine) {
        if (toClient(statusLine + "X-Endless: ") == Step::End) {
            return Step::End;
        }
        const std::string filler(16 * 1024, 'a');
        while (answerBytes < plan.endlessCap && toClient(filler) == Step::Continue) {
        }
        return Step::End;
    }

    void relay() {
        char buffer[16 * 1024];
        while (!stopping.load()) {
            pollfd entries[2] = {{client.fd(), POLLIN, 0}, {server.fd(), POLLIN, 0}};
            int ready = ::poll(entries, 2, kPollMilliseconds);
            if (ready < 0 && errno != EINTR) {
                return;
            }
            for (int side = 0; side < 2 && ready > 0; ++side) {
                if (entries[side].revents == 0) {
                    continue;
                }
                const int from = side == 0 ? client.fd() : server.fd();
                ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return;
                }
                const std::string_view bytes(buffer, static_cast<std::size_t>(got));
                if ((side == 0 ? fromClient(bytes) : fromServer(bytes)) == Step::End) {
                    return;
                }
            }
        }
    }
};

FaultProxy::FaultProxy(int upstreamPort, Plan plan)
    : upstreamPort_(upstreamPort), plan_(std::move(plan)) {
    listen();
}

FaultProxy::FaultProxy(int upstreamPort, Chooser chooser, PerRequest)
    : upstreamPort_(upstreamPort), chooser_(std::move(chooser)) {
    listen();
}

std::unique_ptr<FaultProxy> FaultProxy::perRequest(int upstreamPort, Chooser chooser) {
    return std::unique_ptr<FaultProxy>(
        new FaultProxy(upstreamPort, std::move(chooser), PerRequest{}));
}

void FaultProxy::listen() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = loopback(0);
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 128) != 0) {
        throw std::runtime_error(std::string("FaultProxy: cannot listen: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FaultProxy::~FaultProxy() {
    stopping_.store(true);
    acceptor_.join();
    ::close(listener_);
    std::lock_guard guard(mutex_);
    for (auto& worker : workers_) {
        worker.thread.join();
    }
}

std::string FaultProxy::url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(target);
}

void FaultProxy::acceptLoop() {
    while (waitFor(listener_, POLLIN, stopping_)) {
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        const int index = connections_.fetch_add(1);
        const bool faulty = !chooser_ && index % std::max(plan_.faultEvery, 1) == 0;
        const Plan& plan = faulty ? plan_ : faithful_;
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard guard(mutex_);
        joinEndedWorkersLocked();
        workers_.push_back({std::thread([this, client, &plan, done] {
                                serve(client, plan);
                                done->store(true);
                            }),
                            done});
    }
}

// A long run makes a connection per request or more; their threads go as they end.
void FaultProxy::joinEndedWorkersLocked() {
    for (auto worker = workers_.begin(); worker != workers_.end();) {
        if (worker->done->load()) {
            worker->thread.join();
            worker = workers_.erase(worker);
        } else {
            ++worker;
        }
    }
}

void FaultProxy::serve(int client, const Plan& plan) {
    Pipe pipe(*this, plan, client, connectTo(upstreamPort_));
    if (pipe.server.isOpen()) {
        pipe.relay();
    }
    ended_.fetch_add(1);
}

}  // namespace test
