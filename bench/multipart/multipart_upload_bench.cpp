// Uploads through HTTPClient's streamed multipart bodies and through libcurl's own MIME API,
// to one loopback sink that reads and drops every body.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/client/HTTPClient.h"
#include "net/client/MultipartFormData.h"
#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"

namespace {

constexpr std::int64_t kLargeFileSize = std::int64_t{1} << 30;
constexpr std::size_t kSmallBodySize = 200 * 1000;
constexpr int kBodiesInFlight = 100;
constexpr double kUploadTimeoutSeconds = 600;

double threadCPUSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double processCPUSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// An HTTP/1.1 sink on 127.0.0.1: reads each request, drops its body, answers 200 with no
// body; keep-alive, one thread per connection. It counts the CPU time it spends, so that the
// senders' own CPU time can be told apart from it.
class Sink {
public:
    Sink() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listenFd_, 256) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::abort();
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~Sink() {
        ::shutdown(listenFd_, SHUT_RDWR);
        ::close(listenFd_);
        acceptor_.join();
        std::lock_guard lock(mutex_);
        for (int fd : connections_) {
            ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& worker : workers_) {
            worker.join();
        }
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    // CPU time of the serving threads, up to the last answer each has sent.
    double cpuSeconds() const { return cpuNanoseconds_.load() * 1e-9; }

private:
    void acceptLoop() {
        for (;;) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                return;
            }
            std::lock_guard lock(mutex_);
            connections_.push_back(fd);
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        double accounted = threadCPUSeconds();
        std::vector<char> buffer(64 * 1024);
        std::string head;
        for (;;) {
            ssize_t count = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (count <= 0) {
                break;
            }
            head.append(buffer.data(), static_cast<std::size_t>(count));
            auto end = head.find("\r\n\r\n");
            if (end == std::string::npos) {
                continue;
            }
            std::int64_t left = contentLength(head.substr(0, end)) -
                                static_cast<std::int64_t>(head.size() - end - 4);
            while (left > 0 && (count = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) {
                left -= count;
            }
            head.clear();
            // Accounted before answering, so a sender that has its answer sees it counted.
            double now = threadCPUSeconds();
            cpuNanoseconds_ += static_cast<std::int64_t>((now - accounted) * 1e9);
            accounted = now;
            static constexpr std::string_view kAnswer =
                "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
            if (left > 0 || ::send(fd, kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        }
        ::close(fd);
    }

    static std::int64_t contentLength(std::string head) {
        for (char& c : head) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        auto at = head.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::atoll(head.c_str() + at + 17);
    }

    int listenFd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<int> connections_;      // guarded by mutex_
    std::vector<std::thread> workers_;  // guarded by mutex_
    std::atomic<std::int64_t> cpuNanoseconds_{0};
};

Sink& sink() {
    static Sink instance;
    return instance;
}

// Reads the file once, so that no side pays for filling the page cache.
void warmPageCache(const std::string& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(1 << 20);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

// A sparse file: the disk plays no part, only how the bytes travel.
const std::string& largeFile() {
    static const std::string path = [] {
        std::string file = (std::filesystem::temp_directory_path() /
                            ("multipart-bench-" + std::to_string(::getpid()) + ".bin"))
                               .string();
        int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, kLargeFileSize) != 0) {
            std::abort();
        }
        ::close(fd);
        warmPageCache(file);
        std::atexit([] { std::filesystem::remove(largeFile()); });
        return file;
    }();
    return path;
}

// The process's peak resident set since the last resetPeakRSS(). Benchmarks run interleaved,
// so the peak is reset before each measured upload; memory the others left behind (and
// malloc_trim could not return) still counts against us.
void resetPeakRSS() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakRSSBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atof(line.c_str() + 6) * 1024.0;
        }
    }
    return 0;
}

// The CPU time the sending side spends, over the process minus the sink: the figure to compare
// on a loaded machine, where wall time mostly measures the other processes. Reported per
// iteration as counter 'sender_cpu_s'.
class SenderCPU {
public:
    SenderCPU() : process_(processCPUSeconds()), sink_(sink().cpuSeconds()) {}
    void report(benchmark::State& state) const {
        double spent = (processCPUSeconds() - process_) - (sink().cpuSeconds() - sink_);
        state.counters["sender_cpu_s"] =
            benchmark::Counter(spent, benchmark::Counter::kAvgIterations);
    }

private:
    double process_;
    double sink_;
};

using Block = std::function<void(net::MultipartFormData&)>;

std::shared_ptr<net::HTTPRequestOperation> startUpload(const Block& block) {
    auto client = net::HTTPClient::create(url::URL::create(sink().url("/")));
    core::Value::Map fields{{"order", core::bytesFromString("1234")}};
    auto operation = net::HTTPRequestOperation::create(
        client->multipartFormRequest("POST", "/upload", fields, block));
    operation->start();
    return operation;
}

// Runs the main loop (which the bodies hand their phase changes to) until `done` holds. The
// operations finish on the network thread without waking this loop, so it looks again every
// millisecond at the latest.
bool pumpUntil(const std::function<bool()>& done) {
    auto loop = core::RunLoop::current();
    auto deadline = core::Clock::realNow() + core::Clock::Duration(kUploadTimeoutSeconds);
    while (core::Clock::realNow() < deadline) {
        auto slice = core::Clock::realNow() + core::Clock::Duration(0.001);
        if (loop->runUntil(done, slice, core::RunLoop::DeadlineClock::Real)) {
            return true;
        }
    }
    return false;
}

bool succeeded(const std::vector<std::shared_ptr<net::HTTPRequestOperation>>& operations) {
    return pumpUntil([&] {
               for (const auto& operation : operations) {
                   if (!operation->isFinished()) {
                       return false;
                   }
               }
               return true;
           }) &&
           std::none_of(operations.begin(), operations.end(),
                        [](const auto& operation) { return operation->error() != nullptr; });
}

void LargeFileProofshot(benchmark::State& state) {
    url::URL file = url::URL::fileURL(largeFile());
    ::malloc_trim(0);
    resetPeakRSS();
    SenderCPU cpu;
    for (auto _ : state) {
        auto operation = startUpload(
            [&](net::MultipartFormData& form) { form.appendPartWithFileURL(file, "file"); });
        if (!succeeded({operation})) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kLargeFileSize);
    state.counters["peak_rss"] = peakRSSBytes();
    cpu.report(state);
}

// libcurl's MIME API with the same parts: a text field and the file.
curl_mime* curlParts(CURL* easy, const std::string* path, const std::string* data) {
    curl_mime* mime = curl_mime_init(easy);
    curl_mimepart* field = curl_mime_addpart(mime);
    curl_mime_name(field, "order");
    curl_mime_data(field, "1234", CURL_ZERO_TERMINATED);
    curl_mimepart* file = curl_mime_addpart(mime);
    curl_mime_name(file, "file");
    if (path != nullptr) {
        curl_mime_filedata(file, path->c_str());
        curl_mime_type(file, "application/octet-stream");
    } else {
        curl_mime_data(file, data->data(), data->size());
        curl_mime_filename(file, "temp.jpeg");
        curl_mime_type(file, "image/jpeg");
    }
    return mime;
}

CURL* curlUpload(curl_slist* headers, curl_mime* mime, CURL* easy) {
    static const std::string url = sink().url("/upload");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);  // no Expect: 100-continue, as ours
    return easy;
}

void LargeFileCurlMime(benchmark::State& state) {
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    SenderCPU cpu;
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        curl_mime* mime = curlParts(easy, &largeFile(), nullptr);
        CURLcode result = curl_easy_perform(curlUpload(headers, mime, easy));
        curl_easy_cleanup(easy);
        curl_mime_free(mime);
        if (result != CURLE_OK) {
            state.SkipWithError(curl_easy_strerror(result));
            break;
        }
    }
    cpu.report(state);
    curl_slist_free_all(headers);
    state.SetBytesProcessed(state.iterations() * kLargeFileSize);
}

const std::string& smallBody() {
    static const std::string body(kSmallBodySize, 'j');
    return body;
}

void HundredBodiesProofshot(benchmark::State& state) {
    core::Bytes jpeg = core::bytesFromString(smallBody());
    SenderCPU cpu;
    for (auto _ : state) {
        std::vector<std::shared_ptr<net::HTTPRequestOperation>> operations;
        for (int i = 0; i < kBodiesInFlight; ++i) {
            operations.push_back(startUpload([&](net::MultipartFormData& form) {
                form.appendPartWithFileData(jpeg, "file", "temp.jpeg", "image/jpeg");
            }));
        }
        if (!succeeded(operations)) {
            state.SkipWithError("an upload failed");
            break;
        }
    }
    cpu.report(state);
    state.SetBytesProcessed(state.iterations() * kBodiesInFlight * kSmallBodySize);
}

void HundredBodiesCurlMime(benchmark::State& state) {
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    CURLM* multi = curl_multi_init();
    SenderCPU cpu;
    for (auto _ : state) {
        std::vector<std::pair<CURL*, curl_mime*>> transfers;
        for (int i = 0; i < kBodiesInFlight; ++i) {
            CURL* easy = curl_easy_init();
            curl_mime* mime = curlParts(easy, nullptr, &smallBody());
            curl_multi_add_handle(multi, curlUpload(headers, mime, easy));
            transfers.emplace_back(easy, mime);
        }
        int running = 1;
        while (running > 0) {
            curl_multi_perform(multi, &running);
            if (running > 0) {
                curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            }
        }
        int queued = 0;
        bool failed = false;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            failed |= message->msg == CURLMSG_DONE && message->data.result != CURLE_OK;
        }
        for (auto [easy, mime] : transfers) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            curl_mime_free(mime);
        }
        if (failed) {
            state.SkipWithError("an upload failed");
            break;
        }
    }
    cpu.report(state);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    state.SetBytesProcessed(state.iterations() * kBodiesInFlight * kSmallBodySize);
}

// Ours first, so the peak RSS it reports is its own.
BENCHMARK(LargeFileProofshot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LargeFileCurlMime)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(HundredBodiesProofshot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(HundredBodiesCurlMime)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
