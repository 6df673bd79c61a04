#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "orderd/AccessLog.h"
#include "orderd/OrderService.h"
#include "orderd/Result.h"
#include "orderd/ServerOptions.h"
#include "orderd/WorkQueue.h"

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_OptionItem;
struct sockaddr_in;

namespace orderd {

class Exchange;

// The HTTP side of the service, on libmicrohttpd: event-driven worker threads, so a slow client
// holds a connection slot but never a thread; request bodies are handed over in chunks as they
// arrive; connection count, header size and idle time are bounded by the library, body sizes
// by us before the body is read. Complete requests are judged on job threads.
class HttpServer {
public:
    static Result<std::unique_ptr<HttpServer>> start(const ServerOptions& options,
                                                     OrderService& service, AccessLog& log);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::uint16_t port() const { return port_; }
    bool isTls() const { return tls_; }
    // Requests whose headers have arrived and that have not completed yet.
    std::size_t requestsInFlight();
    // Stops taking connections, lets the requests in flight finish (at most `drain`), then
    // closes every connection. Safe to call more than once.
    void shutdown(std::chrono::milliseconds drain);

    // Entry points for the library's callbacks; not for other callers.
    int handle(MHD_Connection* connection, const char* url, const char* method, const char* data,
               std::size_t* dataSize, void** context);
    void completed(MHD_Connection* connection, void** context, int termination);

private:
    HttpServer(const ServerOptions& options, OrderService& service, AccessLog& log)
        : options_(options), service_(service), log_(log) {}
    Status launch();
    std::vector<MHD_OptionItem> optionItems(const sockaddr_in& address, unsigned workers);
    void route(Exchange& exchange, MHD_Connection* connection);
    void routeUpload(Exchange& exchange, MHD_Connection* connection);
    bool bodyTooLarge(Exchange& exchange, MHD_Connection* connection, std::size_t limit);
    int finishLater(MHD_Connection* connection, Exchange& exchange);
    Reply finish(Exchange& exchange);
    int send(MHD_Connection* connection, Exchange& exchange, Reply reply);
    void shortenIdleTimeoutUnderPressure(MHD_Connection* connection);

    // How long a connection whose request is done may wait for the next one while at least
    // half of the connection slots are taken.
    static constexpr unsigned kIdleSecondsUnderPressure = 1;

    ServerOptions options_;
    OrderService& service_;
    AccessLog& log_;
    std::unique_ptr<WorkQueue> jobs_;
    MHD_Daemon* daemon_ = nullptr;
    int quiescedSocket_ = -1;
    std::uint16_t port_ = 0;
    unsigned workers_ = 1;  // set before the library's threads start
    bool tls_ = false;
    std::mutex mutex_;
    std::condition_variable drained_;
    std::size_t inFlight_ = 0;  // guarded by mutex_
};

}  // namespace orderd
