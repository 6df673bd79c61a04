#include "orderd/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <optional>
#include <string>

#include "orderd/Validation.h"

namespace orderd {

// One request from its headers to its completion.
class Exchange {
public:
    enum class Route { Login, Details, Upload, Other };

    Route route = Route::Other;
    std::string method;
    std::string target;  // path and the query we act on; nothing else is logged
    std::string user = "-";
    std::string form;
    std::unique_ptr<UploadExchange> upload;
    std::optional<Reply> early;  // decided from the headers alone
    std::mutex mutex;
    std::optional<Reply> finished;  // guarded by mutex; made by a job while suspended
    unsigned status = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

namespace {

constexpr const char* kLoginPath = "/ipad/loginVer2.php";
constexpr const char* kDetailsPath = "/ipad/getOrderDetails.php";
constexpr const char* kUploadPath = "/ipad/uploadPicPhotos.php";
constexpr std::string_view kStockPrefix = "/trelmostockimages/";

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* data, size_t* dataSize, void** context) {
    auto* server = static_cast<HttpServer*>(cls);
    return static_cast<MHD_Result>(
        server->handle(connection, url, method, data, dataSize, context));
}

void onCompleted(void* cls, MHD_Connection* connection, void** context,
                 MHD_RequestTerminationCode code) {
    static_cast<HttpServer*>(cls)->completed(connection, context, static_cast<int>(code));
}

void onLibraryMessage(void* cls, const char* format, va_list args) {
    std::array<char, 512> text{};
    std::vsnprintf(text.data(), text.size(), format, args);
    std::string line = AccessLog::timestamp() + " server: " + text.data();
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    static_cast<AccessLog*>(cls)->write(line);
}

std::optional<std::uint64_t> contentLength(MHD_Connection* connection) {
    const char* text =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!text || !*text) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    auto value = std::strtoull(text, &end, 10);
    return (*end == 0 && errno == 0) ? std::optional<std::uint64_t>(value) : std::nullopt;
}

bool announcesBody(MHD_Connection* connection) {
    auto length = contentLength(connection);
    return (length && *length > 0) ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr ||
           (!length && MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                   MHD_HTTP_HEADER_CONTENT_LENGTH) != nullptr);
}

std::string peerAddress(MHD_Connection* connection) {
    auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET) {
        return "-";
    }
    std::array<char, INET_ADDRSTRLEN> text{};
    auto* in = reinterpret_cast<const sockaddr_in*>(info->client_addr);
    inet_ntop(AF_INET, &in->sin_addr, text.data(), text.size());
    return text.data();
}

MHD_Response* fileResponse(const std::filesystem::path& file, std::uint64_t& size) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    auto* response = MHD_create_response_from_fd64(size, fd);
    if (!response) {
        ::close(fd);
    }
    return response;
}

}  // namespace

Result<std::unique_ptr<HttpServer>> HttpServer::start(const ServerOptions& options,
                                                      OrderService& service, AccessLog& log) {
    std::unique_ptr<HttpServer> server(new HttpServer(options, service, log));
    if (auto status = server->launch(); !status.ok()) {
        return status.error();
    }
    return server;
}

std::vector<MHD_OptionItem> HttpServer::optionItems(const sockaddr_in& address, unsigned workers) {
    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr_in*>(&address)},
        {MHD_OPTION_CONNECTION_LIMIT, options_.maxConnections, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, options_.idleTimeoutSeconds, nullptr},
        // Half of a connection's memory holds the request head; more is refused with 431.
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(options_.maxHeaderBytes * 2),
         nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&onCompleted), this},
    };
    if (workers > 1) {
        items.push_back({MHD_OPTION_THREAD_POOL_SIZE, workers, nullptr});
    }
    if (tls_) {
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, options_.certificatePem.data()});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, options_.keyPem.data()});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    return items;
}

Status HttpServer::launch() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) {
        return Error{"not an IPv4 address: '" + options_.host + "'"};
    }
    tls_ = !options_.certificatePem.empty() && !options_.keyPem.empty();
    unsigned workers = std::max(1u, std::min(options_.workerThreads, options_.maxConnections));
    workers_ = workers;
    jobs_ = std::make_unique<WorkQueue>(workers);
    // poll, not epoll: the library's edge-triggered epoll can take a client's hang-up that
    // arrives with the last bytes of a body as already handled, and then the half upload
    // lingers until the idle time-out. With at most maxConnections sockets, poll costs nothing.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_ERROR_LOG | (tls_ ? MHD_USE_TLS : 0);
    auto items = optionItems(address, workers);
    daemon_ = MHD_start_daemon(flags, options_.port, nullptr, nullptr, &onRequest, this,
                               MHD_OPTION_EXTERNAL_LOGGER, &onLibraryMessage, &log_,
                               MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (!daemon_) {
        return Error{"cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
                     (tls_ ? " (or the certificate and key are unusable)" : "")};
    }
    port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
    return {};
}

HttpServer::~HttpServer() {
    shutdown(std::chrono::milliseconds(0));
}

std::size_t HttpServer::requestsInFlight() {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

void HttpServer::shutdown(std::chrono::milliseconds drain) {
    if (!daemon_) {
        return;
    }
    quiescedSocket_ = MHD_quiesce_daemon(daemon_);
    if (quiescedSocket_ >= 0) {
        // Refuse newcomers now rather than leave them waiting in the backlog while we drain.
        ::shutdown(quiescedSocket_, SHUT_RDWR);
    }
    {
        std::unique_lock lock(mutex_);
        drained_.wait_for(lock, drain, [this] { return inFlight_ == 0; });
    }
    // Every suspended connection must be resumed before the daemon stops; the jobs that
    // will resume them are short, so let them finish.
    jobs_->stop();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    if (quiescedSocket_ >= 0) {
        ::close(quiescedSocket_);  // ours only once the daemon has stopped using it
    }
}

int HttpServer::handle(MHD_Connection* connection, const char* url, const char* method,
                       const char* data, std::size_t* dataSize, void** context) {
    if (!*context) {
        auto exchange = std::make_unique<Exchange>();
        exchange->method = method;
        exchange->target = url;
        {
            std::lock_guard lock(mutex_);
            ++inFlight_;
        }
        route(*exchange, connection);
        auto* raw = exchange.release();
        *context = raw;
        // An answer queued before the body is read makes the library close the connection,
        // which is right for a refused body but needless for a request without one: that
        // answer waits for the next call, and the connection stays open for the next request.
        if (raw->early && announcesBody(connection)) {
            return send(connection, *raw, std::move(*raw->early));
        }
        return MHD_YES;
    }
    auto& exchange = *static_cast<Exchange*>(*context);
    if (exchange.early) {
        auto reply = std::move(*exchange.early);
        exchange.early.reset();
        return send(connection, exchange, std::move(reply));
    }
    if (*dataSize > 0) {
        if (std::chrono::steady_clock::now() - exchange.started >
            std::chrono::seconds(options_.requestTimeoutSeconds)) {
            return MHD_NO;  // closes the connection; the unfinished upload is dropped
        }
        exchange.bytesIn += *dataSize;
        if (exchange.upload) {
            exchange.upload->consume(std::string_view(data, *dataSize));
        } else {
            exchange.form.append(data, *dataSize);
        }
        *dataSize = 0;
        return MHD_YES;
    }
    return finishLater(connection, exchange);
}

int HttpServer::finishLater(MHD_Connection* connection, Exchange& exchange) {
    {
        std::lock_guard lock(exchange.mutex);
        if (exchange.finished) {
            auto reply = std::move(*exchange.finished);
            exchange.finished.reset();
            return send(connection, exchange, std::move(reply));
        }
    }
    // Judging a request may hash a password or flush a photo: that runs on a job thread while
    // the connection is suspended, and the library calls us again once it is resumed.
    MHD_suspend_connection(connection);
    std::function<void()> job = [this, connection, &exchange] {
        auto reply = finish(exchange);
        {
            std::lock_guard lock(exchange.mutex);
            exchange.finished = std::move(reply);
        }
        MHD_resume_connection(connection);
    };
    if (!jobs_->post(job)) {
        job();  // shutting down: no job threads left, so judge it here
    }
    return MHD_YES;
}

void HttpServer::route(Exchange& exchange, MHD_Connection* connection) {
    const std::string& path = exchange.target;
    bool isPost = exchange.method == "POST";
    if (path == kLoginPath || path == kDetailsPath || path == kUploadPath) {
        if (!isPost) {
            exchange.early = Reply::text(405, "use POST");
        } else if (path == kUploadPath) {
            routeUpload(exchange, connection);
        } else if (!bodyTooLarge(exchange, connection, options_.maxFormBytes)) {
            exchange.route = path == kLoginPath ? Exchange::Route::Login : Exchange::Route::Details;
        }
        return;
    }
    if (path.rfind(kStockPrefix, 0) == 0 &&
        (exchange.method == "GET" || exchange.method == "HEAD")) {
        exchange.early = service_.stockPicture(std::string_view(path).substr(kStockPrefix.size()));
        return;
    }
    exchange.early = Reply::text(404, "not found");
}

void HttpServer::routeUpload(Exchange& exchange, MHD_Connection* connection) {
    const char* index = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "order");
    auto batchIndex = parseBatchIndex(index ? index : "");
    exchange.target += "?order=" + (batchIndex ? std::to_string(*batchIndex) : std::string("?"));
    const char* type =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    auto boundary = MultipartParser::boundaryFromContentType(type ? type : "");
    if (!batchIndex) {
        exchange.early = Reply::text(400, "query value 'order' must be a batch index");
    } else if (!boundary) {
        exchange.early = Reply::text(400, "expected a multipart/form-data body with a boundary");
    } else if (!bodyTooLarge(exchange, connection, options_.maxUploadBytes)) {
        exchange.route = Exchange::Route::Upload;
        exchange.upload = service_.beginUpload(*batchIndex, *boundary);
    }
}

bool HttpServer::bodyTooLarge(Exchange& exchange, MHD_Connection* connection, std::size_t limit) {
    // Requiring the length up front lets an oversized body be refused before any of it is read.
    auto length = contentLength(connection);
    if (!length) {
        exchange.early = Reply::text(411, "a Content-Length is required");
    } else if (*length > limit) {
        exchange.early = Reply::text(413, "body larger than " + std::to_string(limit) + " bytes");
    }
    return exchange.early.has_value();
}

Reply HttpServer::finish(Exchange& exchange) {
    switch (exchange.route) {
        case Exchange::Route::Upload: {
            auto user = exchange.upload->field("username");
            exchange.user = user && isValidUsername(*user) ? *user : "-";
            return service_.finishUpload(*exchange.upload);
        }
        case Exchange::Route::Login:
        case Exchange::Route::Details: {
            auto form = decodeUrlEncodedForm(exchange.form);
            if (!form) {
                return Reply::text(200, "INVALID");
            }
            auto user = form->find("username");
            exchange.user =
                user != form->end() && isValidUsername(user->second) ? user->second : "-";
            return exchange.route == Exchange::Route::Login ? service_.login(*form)
                                                            : service_.orderDetails(*form);
        }
        case Exchange::Route::Other:
            break;
    }
    return Reply::text(404, "not found");
}

int HttpServer::send(MHD_Connection* connection, Exchange& exchange, Reply reply) {
    MHD_Response* response = nullptr;
    if (!reply.file.empty()) {
        response = fileResponse(reply.file, exchange.bytesOut);
        if (!response) {
            reply = Reply::text(404, "not found");
        }
    }
    if (!response) {
        exchange.bytesOut = reply.body.size();
        response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                                   MHD_RESPMEM_MUST_COPY);
    }
    if (!response) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    if (reply.status == 405) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "POST");
    }
    exchange.status = reply.status;
    auto result = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return result;
}

void HttpServer::completed(MHD_Connection* connection, void** context, int termination) {
    std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*context));
    *context = nullptr;
    if (!exchange) {
        return;
    }
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - exchange->started)
                      .count();
    bool delivered = termination == MHD_REQUEST_TERMINATED_COMPLETED_OK;
    log_.write(
        AccessLog::timestamp() + " " + peerAddress(connection) + " \"" + exchange->method + " " +
        exchange->target + "\" " + (delivered ? std::to_string(exchange->status) : "aborted") +
        " in=" + std::to_string(exchange->bytesIn) + " out=" + std::to_string(exchange->bytesOut) +
        " user=" + exchange->user + " ms=" + std::to_string(millis));
    exchange.reset();  // drops an unfinished upload's temporary file
    if (delivered) {
        shortenIdleTimeoutUnderPressure(connection);
    }
    std::lock_guard lock(mutex_);
    --inFlight_;
    drained_.notify_all();
}

// A client keeps its connections open for reuse, and a busy one holds many: an app that sent
// a burst of uploads keeps a connection per upload. With the slots half taken, a connection
// whose request is done waits for the next one only briefly, so that clients queued for a
// slot are not kept out for a whole idle time-out by connections that carry nothing.
// The slots are counted per worker thread, as the library splits the limit among them, and
// through the connection's own daemon: daemon_ is set only once the workers already run.
void HttpServer::shortenIdleTimeoutUnderPressure(MHD_Connection* connection) {
    const auto* owner = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_DAEMON);
    if (owner == nullptr || owner->daemon == nullptr) {
        return;
    }
    const auto* info = MHD_get_daemon_info(owner->daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    const unsigned slots = std::max(1u, options_.maxConnections / workers_);
    if (info == nullptr || 2 * info->num_connections < slots) {
        return;
    }
    unsigned seconds = std::min(options_.idleTimeoutSeconds, kIdleSecondsUnderPressure);
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, seconds);
}

}  // namespace orderd
