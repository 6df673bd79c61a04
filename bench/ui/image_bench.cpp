// A camera picture (3264 x 2448 JPEG) becomes its 640 x 480 copy and that copy's quality-1.0
// JPEG, the work the app does for every photo it keeps and uploads. Three ways:
//   Proofshot  - our path: the JPEG stays undecoded and is drawn with DCT-scaled decoding
//   Naive      - decode at full size, resample the whole bitmap, encode
//   Vipsthumbnail - the vipsthumbnail program on the same file (one process per photo, and
//                   eight photos per process to leave out its start-up)
// Each of ours also reports the peak memory one photo adds (peak_extra_MB); vipsthumbnail
// reports its own CPU time per photo. Its peak memory is not reported: a spawned child's
// ru_maxrss includes this process's peak, so measure it with /usr/bin/time from a shell.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/JPEGDecoder.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/SimulatedCamera.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int kBatch = 8;

core::Bytes& cameraJPEGStorage() {
    static core::Bytes bytes;
    return bytes;
}

// A camera-like 3264 x 2448 picture at quality 0.92 (about 2.8 MB, as a phone camera writes).
const core::Bytes& cameraJPEG() {
    core::Bytes& bytes = cameraJPEGStorage();
    if (bytes.empty()) {
        bytes = *ui::JPEGEncoder::encode(*ui::SimulatedCamera::generateScene(3264, 2448), 92);
    }
    return bytes;
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "image-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        const core::Bytes& jpeg = cameraJPEG();
        for (int i = 0; i < kBatch; ++i) {
            std::ofstream(fs::path(pattern) / ("camera" + std::to_string(i) + ".jpg"),
                          std::ios::binary)
                .write(reinterpret_cast<const char*>(jpeg.data()),
                       static_cast<std::streamsize>(jpeg.size()));
        }
        return fs::path(pattern);
    }();
    return folder;
}

std::string input(int i) {
    return (workFolder() / ("camera" + std::to_string(i) + ".jpg")).string();
}

core::Bytes copyAsJPEG(const ui::Image& picture) {
    if (!ui::beginImageContext({640, 480})) {
        std::abort();
    }
    (void)ui::drawInRect(picture, ui::Rect(0, 0, 640, 480));
    auto copy = ui::imageFromCurrentContext();
    ui::endImageContext();
    return *ui::JPEGRepresentation(*copy, 1.0);
}

core::Bytes proofshotPhoto() {
    return copyAsJPEG(**ui::Image::create(cameraJPEG()));
}

core::Bytes naivePhoto() {
    auto full = ui::Image::create(*ui::JPEGDecoder::decode(cameraJPEG(), 8));
    return copyAsJPEG(*full);
}

// A "Vm...:" figure of /proc/self/status in kB. VmHWM is this process image's own peak:
// getrusage's ru_maxrss would also carry the spawning parent's peak across the exec.
long statusKB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stol(line.substr(key.size() + 1));
        }
    }
    return 0;
}

std::string selfPath;

// Peak resident memory that one photo adds, in MB. Measured in a fresh copy of this program:
// in this process, memory freed by earlier iterations is still resident and would hide it.
double peakExtraMB(const char* path) {
    std::vector<std::string> arguments = {selfPath, "--peak-of", path, input(0)};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    pid_t child = 0;
    int spawned = posix_spawn(&child, selfPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    double megabytes = -1;
    if (spawned == 0) {
        std::FILE* out = fdopen(pipeEnds[0], "r");
        if (std::fscanf(out, "%lf", &megabytes) != 1) {
            megabytes = -1;
        }
        std::fclose(out);
        waitpid(child, nullptr, 0);
    } else {
        close(pipeEnds[0]);
    }
    return megabytes;
}

// The child side: reads the picture the parent wrote, takes one photo along `path`, then
// prints the peak that added.
int measurePeak(const std::string& path, const char* file) {
    // Read at its exact size: a growing buffer would set a high-water mark of its own.
    core::Bytes& bytes = cameraJPEGStorage();
    bytes.resize(fs::file_size(file));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const long before = statusKB("VmRSS");
    path == "naive" ? naivePhoto() : proofshotPhoto();
    std::printf("%.1f\n", (statusKB("VmHWM") - before) / 1024.0);
    return 0;
}

// Runs vipsthumbnail on `inputs`, adding its CPU time; false when it failed or is missing.
bool runVipsthumbnail(const std::vector<std::string>& inputs, double* cpuSeconds) {
    std::vector<std::string> arguments = {"vipsthumbnail", "--size=640x480!", "-o",
                                          (workFolder() / "%s_copy.jpg[Q=100]").string()};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "vipsthumbnail", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (cpuSeconds != nullptr) {
        *cpuSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void CameraPhotoProofshot(benchmark::State& state) {
    cameraJPEG();
    for (auto _ : state) {
        benchmark::DoNotOptimize(proofshotPhoto());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_extra_MB"] = peakExtraMB("proofshot");
}

void CameraPhotoNaive(benchmark::State& state) {
    cameraJPEG();
    for (auto _ : state) {
        benchmark::DoNotOptimize(naivePhoto());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_extra_MB"] = peakExtraMB("naive");
}

void CameraPhotoVipsthumbnail(benchmark::State& state) {
    // One thread, as the app's own path uses, so the comparison is per core.
    setenv("VIPS_CONCURRENCY", "1", 1);
    double cpu = 0;
    for (auto _ : state) {
        if (!runVipsthumbnail({input(0)}, &cpu)) {
            state.SkipWithError("vipsthumbnail is not installed or failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["child_cpu_ms_per_photo"] = cpu * 1000 / state.iterations();
}

void CameraPhotoVipsthumbnailBatch(benchmark::State& state) {
    setenv("VIPS_CONCURRENCY", "1", 1);
    double cpu = 0;
    std::vector<std::string> inputs;
    for (int i = 0; i < kBatch; ++i) {
        inputs.push_back(input(i));
    }
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const bool ran = runVipsthumbnail(inputs, &cpu);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!ran) {
            state.SkipWithError("vipsthumbnail is not installed or failed");
            return;
        }
        state.SetIterationTime(elapsed.count() / kBatch);
    }
    state.counters["child_cpu_ms_per_photo"] = cpu * 1000 / (state.iterations() * kBatch);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(CameraPhotoProofshot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoNaive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoVipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoVipsthumbnailBatch)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv) {
    selfPath = fs::canonical("/proc/self/exe").string();
    if (argc == 4 && std::string(argv[1]) == "--peak-of") {
        return measurePeak(argv[2], argv[3]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(workFolder());
    return 0;
}
