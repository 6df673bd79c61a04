// proofshot-orderd under 50 clients uploading photos at once, against nginx taking the same
// uploads into files (a ceiling: nginx stores nothing durably and checks nothing), and the
// memory each idle connection costs either server.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/orderd/UploadDriver.h"
#include "bench/orderd/UploadServer.h"
#include "orderd/DemoSeeder.h"
#include "orderd/Jpeg.h"
#include "tests/support/LoopbackPorts.h"

namespace {

using benchorderd::UploadDriver;
using benchorderd::UploadServer;

constexpr int kClients = 50;
constexpr int kUploadsPerIteration = 100;
constexpr int kIdleConnections = 500;
constexpr int kWarmUpConnections = 8;
constexpr const char* kBoundary = "Boundary+17C3A5E0B1D24F36";

// The body the app sends for one photo: a 640 x 480 JPEG at full quality and its fields.
const std::string& photoBody() {
    static const std::string body = [] {
        auto jpeg = orderd::encodePatternJpeg(640, 480, 0x4a7bb5, 7, 100);
        std::string made;
        auto field = [&](const std::string& name, const std::string& value) {
            made += std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" +
                    name + "\"\r\n\r\n" + value + "\r\n";
        };
        field("username", orderd::DemoSeeder::kUsername);
        field("password", orderd::DemoSeeder::kPassword);
        field("order", "1001");
        field("location", "0");
        made += std::string("--") + kBoundary +
                "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"temp.jpeg\"\r\n"
                "Content-Type: image/jpeg\r\n\r\n" +
                (jpeg.ok() ? jpeg.value() : std::string()) + "\r\n--" + kBoundary + "--\r\n";
        return made;
    }();
    return body;
}

void uploads(benchmark::State& state, UploadServer::Kind kind) {
    std::string failure;
    auto server = UploadServer::start(kind, failure);
    if (!server) {
        state.SkipWithError(failure.c_str());
        return;
    }
    UploadDriver driver(server->uploadUrl(),
                        std::string("multipart/form-data; boundary=") + kBoundary, photoBody(),
                        kClients);
    std::vector<double> latencies;
    for (auto _ : state) {
        auto run = driver.run(kUploadsPerIteration);
        if (run.failures > 0) {
            state.SkipWithError(("upload failed: " + run.firstFailure).c_str());
            break;
        }
        latencies.insert(latencies.end(), run.latenciesMicros.begin(), run.latenciesMicros.end());
    }
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto p99 = static_cast<std::size_t>(0.99 * static_cast<double>(latencies.size() - 1));
    state.counters["p99_ms"] = latencies[p99] / 1000.0;
    state.counters["body_bytes"] = static_cast<double>(photoBody().size());
    state.SetItemsProcessed(static_cast<std::int64_t>(latencies.size()));
}

void OrderdUploads(benchmark::State& state) {
    uploads(state, UploadServer::Kind::Orderd);
}

void NginxUploads(benchmark::State& state) {
    uploads(state, UploadServer::Kind::Nginx);
}

// A client that has connected and not yet sent its request: the server has accepted it and
// holds it until its idle time-out.
bool openIdleConnections(int port, int count, std::vector<int>& fds) {
    for (int i = 0; i < count; ++i) {
        const int fd = test::connectToLoopback(port);
        if (fd < 0) {
            return false;
        }
        fds.push_back(fd);
    }
    return true;
}

// Waits (bounded) until the server has accepted `count` more connections than it had.
bool serverHolds(const UploadServer& server, std::size_t baseline, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server.openDescriptors() < baseline + static_cast<std::size_t>(count)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void closeAll(std::vector<int>& fds) {
    for (int fd : fds) {
        ::close(fd);
    }
    fds.clear();
}

void idleConnectionMemory(benchmark::State& state, UploadServer::Kind kind) {
    std::string failure;
    auto server = UploadServer::start(kind, failure);
    if (!server) {
        state.SkipWithError(failure.c_str());
        return;
    }
    std::vector<int> fds;
    double perConnection = 0;
    for (auto _ : state) {
        // A few connections first, so that what the first connection of all sets up (a
        // worker's arena, its buffers) is not charged to the wave measured.
        const std::size_t baseline = server->openDescriptors();
        bool accepted = openIdleConnections(server->port(), kWarmUpConnections, fds) &&
                        serverHolds(*server, baseline, kWarmUpConnections);
        closeAll(fds);
        const std::size_t before = server->residentBytes();
        accepted = accepted && openIdleConnections(server->port(), kIdleConnections, fds) &&
                   serverHolds(*server, baseline, kIdleConnections);
        const std::size_t after = server->residentBytes();
        closeAll(fds);
        if (!accepted || before == 0 || after == 0) {
            state.SkipWithError("the server did not accept every connection");
            return;
        }
        perConnection =
            (static_cast<double>(after) - static_cast<double>(before)) / kIdleConnections;
    }
    state.counters["bytes_per_connection"] = std::max(perConnection, 0.0);
    state.counters["rss_bytes"] = static_cast<double>(server->residentBytes());
}

void OrderdIdleConnectionMemory(benchmark::State& state) {
    idleConnectionMemory(state, UploadServer::Kind::Orderd);
}

void NginxIdleConnectionMemory(benchmark::State& state) {
    idleConnectionMemory(state, UploadServer::Kind::Nginx);
}

}  // namespace

BENCHMARK(OrderdUploads)->UseRealTime()->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(NginxUploads)->UseRealTime()->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(OrderdIdleConnectionMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(NginxIdleConnectionMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
