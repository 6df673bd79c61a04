// Small form POSTs on loopback, a new client per request as the app makes them, 16 in flight:
// our HTTP client against cpp-httplib's client and Python's http.client doing the same
// requests to the same server in the same process, so their repetitions interleave.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/client/HTTPClient.h"
#include "platform/core/RunLoop.h"
#include "tests/support/LoopbackServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInFlight = 16;
constexpr const char* kPath = "/ipad/loginVer2.php";
constexpr const char* kBody = "username=field.worker&password=s3cret%20pw";
constexpr const char* kContentType = "application/x-www-form-urlencoded; charset=utf-8";
constexpr const char* kAnswer = "SUCCESS,1";
constexpr const char* kPython = "/usr/bin/python3";
const core::Value::Map kLoginFields{{"username", "field.worker"}, {"password", "s3cret pw"}};

// A server per benchmark run: it keeps a thread per connection it has served until it is
// dropped, and the peers open a connection per request.
std::unique_ptr<test::LoopbackServer> makeServer() {
    auto server = std::make_unique<test::LoopbackServer>();
    server->route(kPath, [](auto&) { return test::ScriptedResponse::text(200, kAnswer); });
    return server;
}

struct Latencies {
    std::vector<double> micros;

    void add(double elapsedMicros) { micros.push_back(elapsedMicros); }
    void add(Clock::duration elapsed) {
        add(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    void report(benchmark::State& state) {
        if (micros.empty()) {
            return;
        }
        std::sort(micros.begin(), micros.end());
        auto at = [&](double q) {
            return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
        };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.SetItemsProcessed(static_cast<std::int64_t>(micros.size()));
    }
};

// CPU time of this process (every thread: the client's, and the server's too) and of a child
// process, in microseconds. Per request it is what the work costs whatever the load, where the
// rate also measures how soon a busy machine lets each thread run again.
double processCpuMicros() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double childCpuMicros(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto afterName = text.rfind(')');
    if (afterName == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index) {
        if (index == 14 || index == 15) {  // utime, stime
            ticks += std::stod(field);
        }
    }
    return ticks * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void reportCpu(benchmark::State& state, double micros, const Latencies& latencies) {
    if (!latencies.micros.empty()) {
        state.counters["cpu_us_per_request"] =
            micros / static_cast<double>(latencies.micros.size());
    }
}

bool pumpMainUntil(const std::function<bool()>& done) {
    return core::RunLoop::main()->runUntil(done, core::Clock::now() + std::chrono::seconds(60),
                                           core::RunLoop::DeadlineClock::Real);
}

// One round of kInFlight posts, each from a client made for it and dropped at once; the
// failure's description when one fails.
std::optional<std::string> proofshotRound(const std::optional<url::URL>& base,
                                          Latencies& latencies) {
    int done = 0;
    std::optional<std::string> failure;
    for (int i = 0; i < kInFlight; ++i) {
        auto client = net::HTTPClient::create(base);
        const auto started = Clock::now();
        client->postPath(
            kPath, kLoginFields,
            [&, started](auto&, auto&) {
                latencies.add(Clock::now() - started);
                ++done;
            },
            [&](auto&, const core::Error& error) {
                failure = error.localizedDescription();
                ++done;
            });
    }
    if (!pumpMainUntil([&] { return done == kInFlight; })) {
        return "requests did not finish";
    }
    return failure;
}

void FormPostProofshot(benchmark::State& state) {
    auto server = makeServer();
    const auto base = url::URL::create(server->url("/"));
    Latencies warmUp;  // the network thread starts with the first request of the process
    if (auto failure = proofshotRound(base, warmUp)) {
        state.SkipWithError(failure->c_str());
        return;
    }
    Latencies latencies;
    const double cpuBefore = processCpuMicros();
    for (auto _ : state) {
        if (auto failure = proofshotRound(base, latencies)) {
            state.SkipWithError(failure->c_str());
            return;
        }
    }
    reportCpu(state, processCpuMicros() - cpuBefore, latencies);
    latencies.report(state);
}

// kInFlight threads, each posting once per round with a client of its own.
class HttplibRounds {
public:
    explicit HttplibRounds(int port) : port_(port) {
        for (int i = 0; i < kInFlight; ++i) {
            workers_.emplace_back([this, i] { work(i); });
        }
    }
    ~HttplibRounds() {
        stopping_ = true;
        start_.arrive_and_wait();
        for (auto& worker : workers_) {
            worker.join();
        }
    }
    HttplibRounds(const HttplibRounds&) = delete;
    HttplibRounds& operator=(const HttplibRounds&) = delete;

    // False when a request of the round failed.
    bool round(Latencies& latencies) {
        start_.arrive_and_wait();
        finish_.arrive_and_wait();
        for (double micros : micros_) {
            if (micros < 0) {
                return false;
            }
            latencies.add(micros);
        }
        return true;
    }

private:
    void work(int index) {
        while (true) {
            start_.arrive_and_wait();
            if (stopping_) {
                return;
            }
            const auto started = Clock::now();
            httplib::Client client("127.0.0.1", port_);
            auto result = client.Post(kPath, kBody, kContentType);
            const bool answered = result && result->status == 200 && result->body == kAnswer;
            micros_[index] =
                answered ? std::chrono::duration<double, std::micro>(Clock::now() - started).count()
                         : -1.0;
            finish_.arrive_and_wait();
        }
    }

    int port_;
    std::atomic<bool> stopping_{false};
    std::barrier<> start_{kInFlight + 1};
    std::barrier<> finish_{kInFlight + 1};
    std::vector<double> micros_ = std::vector<double>(kInFlight, 0.0);
    std::vector<std::thread> workers_;
};

void FormPostHttplib(benchmark::State& state) {
    auto server = makeServer();
    Latencies latencies;
    double cpu = 0;
    {
        HttplibRounds rounds(server->port());
        Latencies warmUp;
        if (!rounds.round(warmUp)) {
            state.SkipWithError("cpp-httplib could not post");
            return;
        }
        const double cpuBefore = processCpuMicros();
        for (auto _ : state) {
            if (!rounds.round(latencies)) {
                state.SkipWithError("a cpp-httplib request failed");
                break;
            }
        }
        cpu = processCpuMicros() - cpuBefore;
    }
    reportCpu(state, cpu, latencies);
    latencies.report(state);
}

// form_post_client.py in a process of its own, driven a round at a time over two pipes.
class PythonRounds {
public:
    explicit PythonRounds(int port) {
        std::signal(SIGPIPE, SIG_IGN);  // a client that died must fail the round, not us
        int toChild[2];
        int fromChild[2];
        if (::access(kPython, X_OK) != 0 || ::pipe(toChild) != 0 || ::pipe(fromChild) != 0) {
            return;
        }
        // Only async-signal-safe calls after fork(): other threads may hold malloc's lock.
        const std::string portText = std::to_string(port);
        const std::string inFlight = std::to_string(kInFlight);
        const std::string script = PEERS_SOURCE_DIR "/form_post_client.py";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            ::close(toChild[1]);
            ::execl(kPython, kPython, script.c_str(), portText.c_str(), kPath, inFlight.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        commands_ = ::fdopen(toChild[1], "w");
        answers_ = ::fdopen(fromChild[0], "r");
    }
    ~PythonRounds() {
        if (commands_ != nullptr) {
            std::fclose(commands_);  // end of input ends the client
        }
        if (answers_ != nullptr) {
            std::fclose(answers_);
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PythonRounds(const PythonRounds&) = delete;
    PythonRounds& operator=(const PythonRounds&) = delete;

    bool isRunning() const { return pid_ > 0 && commands_ != nullptr && answers_ != nullptr; }
    double cpuMicros() const { return childCpuMicros(pid_); }

    bool round(Latencies& latencies) {
        if (std::fputs("round\n", commands_) < 0 || std::fflush(commands_) != 0) {
            return false;
        }
        char line[64 * kInFlight];
        if (std::fgets(line, sizeof line, answers_) == nullptr) {
            return false;
        }
        std::istringstream fields(line);
        double micros = 0;
        int count = 0;
        while (fields >> micros) {
            if (micros < 0) {
                return false;
            }
            latencies.add(micros);
            ++count;
        }
        return count == kInFlight;
    }

private:
    pid_t pid_ = -1;
    std::FILE* commands_ = nullptr;
    std::FILE* answers_ = nullptr;
};

void FormPostPython(benchmark::State& state) {
    auto server = makeServer();
    Latencies latencies;
    double cpu = 0;
    {
        PythonRounds rounds(server->port());
        if (!rounds.isRunning()) {
            state.SkipWithError("cannot start /usr/bin/python3 (Debian's python3)");
            return;
        }
        // The interpreter's start and its imports are not the client's cost per request.
        Latencies warmUp;
        if (!rounds.round(warmUp)) {
            state.SkipWithError("Python http.client could not post");
            return;
        }
        const double cpuBefore = processCpuMicros() + rounds.cpuMicros();
        for (auto _ : state) {
            if (!rounds.round(latencies)) {
                state.SkipWithError("a Python http.client request failed");
                break;
            }
        }
        cpu = processCpuMicros() + rounds.cpuMicros() - cpuBefore;
    }
    reportCpu(state, cpu, latencies);
    latencies.report(state);
}

}  // namespace

BENCHMARK(FormPostProofshot)->UseRealTime()->MinTime(1.0);
BENCHMARK(FormPostHttplib)->UseRealTime()->MinTime(1.0);
BENCHMARK(FormPostPython)->UseRealTime()->MinTime(1.0);

BENCHMARK_MAIN();
