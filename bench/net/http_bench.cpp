// The HTTP layer against raw libcurl doing the same work on the same servers in the same run:
// form POSTs to the loopback test server (16 in flight per round), each way on its own and all
// three in turns, and a 1 GiB download from nginx into memory and into a file.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <any>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/client/HTTPClient.h"
#include "platform/core/RunLoop.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NginxServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInFlight = 16;
constexpr std::uintmax_t kDownloadSize = 1ull << 30;
const core::Value::Map kLoginFields{{"username", "field.worker"}, {"password", "s3cret pw"}};
const char* const kLoginBody = "username=field.worker&password=s3cret%20pw";

test::LoopbackServer& postServer() {
    static auto* server = [] {
        auto* made = new test::LoopbackServer;
        made->route("/ipad/loginVer2.php",
                    [](auto&) { return test::ScriptedResponse::text(200, "SUCCESS,1"); });
        return made;
    }();
    return *server;
}

test::NginxServer& downloadServer() {
    static auto* server = [] {
        auto* made = new test::NginxServer;
        if (!made->start("bench", "bench")) {
            std::fprintf(stderr, "nginx: %s\n", made->failure().c_str());
            std::abort();
        }
        made->writeSparseFile("big.bin", kDownloadSize);
        // The server is never destroyed (benchmarks may still use it while statics go), so
        // nginx is stopped at exit rather than left running, holding the output pipe open.
        std::atexit([] { downloadServer().stop(); });
        return made;
    }();
    return *server;
}

// CPU time of the whole process (client and server threads alike), in microseconds.
double processCpuMicros() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Per-request latencies of a run, reported as counters next to the rate, with the CPU time
// per request: the rate also measures how soon a shared machine lets each thread run again,
// the CPU time what the requests cost.
struct Latencies {
    std::vector<double> micros;
    double cpuAtStart = processCpuMicros();
    void add(Clock::duration elapsed) {
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    // The q-quantile (0 to 1) of the latencies so far; sorts them.
    double at(double q) {
        if (micros.empty()) {
            return 0;
        }
        std::sort(micros.begin(), micros.end());
        return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
    }
    void report(benchmark::State& state) {
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.counters["cpu_us_per_request"] =
            (processCpuMicros() - cpuAtStart) / static_cast<double>(micros.size());
        state.SetItemsProcessed(static_cast<std::int64_t>(micros.size()));
    }
};

// Generous: on a shared machine under load, a 1 GiB download can take minutes for libcurl too.
bool pumpMainUntil(const std::function<bool()>& done) {
    return core::RunLoop::main()->runUntil(done, core::Clock::now() + std::chrono::minutes(10),
                                           core::RunLoop::DeadlineClock::Real);
}

enum class ClientUse { NewPerRequest, Shared };

// Rounds of kInFlight POSTs through the HTTP layer.
class OurRounds {
public:
    explicit OurRounds(ClientUse use)
        : use_(use),
          base_(url::URL::create(postServer().url("/"))),
          shared_(net::HTTPClient::create(base_)) {}

    // Runs one round; a failure is reported to `state`, and false stops the benchmark.
    bool run(benchmark::State& state, Latencies& latencies) {
        int done = 0;
        for (int i = 0; i < kInFlight; ++i) {
            // The app makes a client per request and drops it at once.
            auto client = use_ == ClientUse::Shared ? shared_ : net::HTTPClient::create(base_);
            const auto started = Clock::now();
            client->postPath(
                "/ipad/loginVer2.php", kLoginFields,
                [&, started](auto&, auto&) {
                    latencies.add(Clock::now() - started);
                    ++done;
                },
                [&](auto&, const core::Error& error) {
                    state.SkipWithError(error.localizedDescription().c_str());
                    ++done;
                });
        }
        if (!pumpMainUntil([&] { return done == kInFlight; })) {
            state.SkipWithError("requests did not finish");
            return false;
        }
        return !state.error_occurred();
    }

private:
    ClientUse use_;
    std::optional<url::URL> base_;
    std::shared_ptr<net::HTTPClient> shared_;
};

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// The same rounds through one libcurl multi handle, connections kept alive between rounds.
class RawRounds {
public:
    RawRounds() : address_(postServer().url("/ipad/loginVer2.php")), multi_(curl_multi_init()) {
        headers_ = curl_slist_append(
            nullptr, "Content-Type: application/x-www-form-urlencoded; charset=utf-8");
        for (auto& handle : handles_) {
            handle = curl_easy_init();
            curl_easy_setopt(handle, CURLOPT_URL, address_.c_str());
            curl_easy_setopt(handle, CURLOPT_POSTFIELDS, kLoginBody);
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers_);
            curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, discard);
        }
    }
    ~RawRounds() {
        for (auto handle : handles_) {
            curl_easy_cleanup(handle);
        }
        curl_slist_free_all(headers_);
        curl_multi_cleanup(multi_);
    }
    RawRounds(const RawRounds&) = delete;
    RawRounds& operator=(const RawRounds&) = delete;

    void run(Latencies& latencies) {
        for (int i = 0; i < kInFlight; ++i) {
            started_[i] = Clock::now();
            curl_multi_add_handle(multi_, handles_[i]);
        }
        int running = kInFlight;
        while (running > 0) {
            curl_multi_perform(multi_, &running);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
                if (message->msg == CURLMSG_DONE) {
                    auto index = std::find(handles_.begin(), handles_.end(), message->easy_handle) -
                                 handles_.begin();
                    latencies.add(Clock::now() - started_[index]);
                    curl_multi_remove_handle(multi_, message->easy_handle);
                }
            }
            if (running > 0) {
                curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
            }
        }
    }

private:
    std::string address_;
    CURLM* multi_;
    curl_slist* headers_ = nullptr;
    std::array<CURL*, kInFlight> handles_{};
    std::array<Clock::time_point, kInFlight> started_{};
};

void postRounds(benchmark::State& state, ClientUse use) {
    OurRounds rounds(use);
    Latencies latencies;
    for (auto _ : state) {
        if (!rounds.run(state, latencies)) {
            break;
        }
    }
    latencies.report(state);
}

void PostNewClientPerRequest(benchmark::State& state) {
    postRounds(state, ClientUse::NewPerRequest);
}

void PostOneClient(benchmark::State& state) {
    postRounds(state, ClientUse::Shared);
}

void PostRawCurlMulti(benchmark::State& state) {
    RawRounds rounds;
    Latencies latencies;
    for (auto _ : state) {
        rounds.run(latencies);
    }
    latencies.report(state);
}

// The three ways of posting above, taken in turns of kTurnRounds rounds within one run, each
// timed on its own, with the latencies of each way's requests. The machine these run on is
// shared, and its speed drifts over seconds by more than the differences measured here;
// separate runs of the three each catch a different stretch of it, while turns this short see
// the same. How long a way's threads rested before its turn moves its rate by several percent
// (ours, handing each request from thread to thread, more than raw libcurl's one thread), so
// raw libcurl takes every other turn: each side rests one turn before each of its own. A turn
// is long enough that what one way leaves to finish after its last round is a negligible part
// of the next one's time, and the turn a cycle starts with moves on from one cycle to the next.
void PostInTurns(benchmark::State& state) {
    constexpr int kTurnRounds = 32;
    struct Way {
        Way(std::string name, std::function<bool(Latencies&)> round)
            : name(std::move(name)), round(std::move(round)) {}
        std::string name;
        std::function<bool(Latencies&)> round;
        Latencies latencies;
        Clock::duration elapsed{};
    };
    OurRounds newClients(ClientUse::NewPerRequest);
    OurRounds oneClient(ClientUse::Shared);
    RawRounds raw;
    Way newWay("new_client", [&](Latencies& l) { return newClients.run(state, l); });
    Way oneWay("one_client", [&](Latencies& l) { return oneClient.run(state, l); });
    Way rawWay("raw_curl", [&](Latencies& l) {
        raw.run(l);
        return true;
    });
    const std::array<Way*, 4> turns{&newWay, &rawWay, &oneWay, &rawWay};
    std::size_t cycle = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < turns.size(); ++k) {
            Way& way = *turns[(cycle + k) % turns.size()];
            const auto started = Clock::now();
            for (int round = 0; round < kTurnRounds; ++round) {
                if (!way.round(way.latencies)) {
                    return;
                }
            }
            way.elapsed += Clock::now() - started;
        }
        ++cycle;
    }
    std::int64_t requests = 0;
    for (Way* way : {&newWay, &oneWay, &rawWay}) {
        const auto count = way->latencies.micros.size();
        state.counters[way->name + "_per_second"] =
            static_cast<double>(count) / std::chrono::duration<double>(way->elapsed).count();
        state.counters[way->name + "_p50_us"] = way->latencies.at(0.50);
        state.counters[way->name + "_p99_us"] = way->latencies.at(0.99);
        requests += static_cast<std::int64_t>(count);
    }
    state.SetItemsProcessed(requests);
}

const std::string kDownloadFile =
    (std::filesystem::temp_directory_path() / "proofshot-bench-download.bin").string();

void download(benchmark::State& state, std::shared_ptr<core::OutputStream> (*makeStream)()) {
    const auto request = url::URLRequest(url::URL::create(downloadServer().url("/big.bin")));
    for (auto _ : state) {
        auto operation = net::HTTPRequestOperation::create(request);
        operation->setOutputStream(makeStream());
        // The end is awaited the way the app awaits it, through the blocks that run on the
        // main queue. Polling isFinished() would wait for the main loop's deadline instead,
        // since nothing else wakes that loop when the network thread finishes.
        bool ended = false;
        operation->setCompletionBlockWithSuccess(
            [&](const auto&, const std::any&) { ended = true; },
            [&](const auto&, const core::Error&) { ended = true; });
        operation->start();
        if (!pumpMainUntil([&] { return ended; }) || operation->error() ||
            operation->totalBytesRead() != static_cast<std::int64_t>(kDownloadSize)) {
            state.SkipWithError("download failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDownloadSize));
    std::filesystem::remove(kDownloadFile);
}

void DownloadToMemory(benchmark::State& state) {
    download(state, [] { return core::OutputStream::outputStreamToMemory(); });
}

void DownloadToFile(benchmark::State& state) {
    download(state, [] {
        return core::OutputStream::outputStreamToFileAtPath(kDownloadFile,
                                                            core::FileWriteMode::Truncate);
    });
}

std::size_t appendToVector(char* data, std::size_t size, std::size_t count, void* target) {
    auto* bytes = static_cast<core::Bytes*>(target);
    bytes->insert(bytes->end(), data, data + size * count);
    return size * count;
}

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* target) {
    return std::fwrite(data, size, count, static_cast<FILE*>(target)) * size;
}

void curlDownload(benchmark::State& state, bool toFile) {
    const std::string address = downloadServer().url("/big.bin");
    for (auto _ : state) {
        CURL* handle = curl_easy_init();
        core::Bytes memory;
        FILE* file = toFile ? std::fopen(kDownloadFile.c_str(), "wb") : nullptr;
        curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, toFile ? writeToFile : appendToVector);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA,
                         toFile ? static_cast<void*>(file) : static_cast<void*>(&memory));
        const CURLcode result = curl_easy_perform(handle);
        curl_easy_cleanup(handle);
        if (file != nullptr) {
            std::fclose(file);
        }
        if (result != CURLE_OK) {
            state.SkipWithError(curl_easy_strerror(result));
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDownloadSize));
    std::filesystem::remove(kDownloadFile);
}

void CurlDownloadToMemory(benchmark::State& state) {
    curlDownload(state, false);
}

void CurlDownloadToFile(benchmark::State& state) {
    curlDownload(state, true);
}

}  // namespace

BENCHMARK(PostNewClientPerRequest)->UseRealTime()->MinTime(2.0);
BENCHMARK(PostOneClient)->UseRealTime()->MinTime(2.0);
BENCHMARK(PostRawCurlMulti)->UseRealTime()->MinTime(2.0);
BENCHMARK(PostInTurns)->UseRealTime()->MinTime(6.0)->Unit(benchmark::kMillisecond);
BENCHMARK(DownloadToMemory)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CurlDownloadToMemory)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(DownloadToFile)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CurlDownloadToFile)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
