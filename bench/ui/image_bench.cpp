// A camera picture (3264 x 2448 JPEG) becomes its 640 x 480 copy and that copy's quality-1.0
// JPEG, the work the app does for every photo it keeps and uploads. Three ways:
//   Proofshot  - our path: the JPEG stays undecoded and is drawn with DCT-scaled decoding
//   Naive      - decode at full size, resample the whole bitmap, encode
//   Vipsthumbnail - the vipsthumbnail program on the same file (one process per photo, and
//                   eight photos per process to leave out its start-up)
// Each of ours also reports the peak memory one photo adds (peak_extra_MB); vipsthumbnail
// reports its whole peak (peak_MB) and its own CPU time per photo.
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

const core::Bytes& cameraJPEG() {
    static const core::Bytes bytes = [] {
        auto scene = ui::SimulatedCamera::generateScene(3264, 2448);
        return *ui::JPEGEncoder::encode(*scene, 92);
    }();
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

long residentKB() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr && std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
        resident = 0;
    }
    if (statm != nullptr) {
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string selfPath;

// Peak resident memory that one photo adds, in MB. Measured in a fresh copy of this program:
// in this process, memory freed by earlier iterations is still resident and would hide it.
double peakExtraMB(const char* path) {
    std::vector<std::string> arguments = {selfPath, "--peak-of", path};
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

// The child side: one photo of the given path, then the peak it added.
int measurePeak(const std::string& path) {
    cameraJPEG();
    const long before = residentKB();
    path == "naive" ? naivePhoto() : proofshotPhoto();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f\n", (usage.ru_maxrss - before) / 1024.0);
    return 0;
}

// Runs vipsthumbnail on `inputs`; returns its peak resident memory in MB, or -1 on failure.
double runVipsthumbnail(const std::vector<std::string>& inputs, double* cpuSeconds = nullptr) {
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
        return -1;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (cpuSeconds != nullptr) {
        *cpuSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss / 1024.0 : -1;
}

std::string input(int i) {
    return (workFolder() / ("camera" + std::to_string(i) + ".jpg")).string();
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
    double peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        peak = runVipsthumbnail({input(0)}, &cpu);
        if (peak < 0) {
            state.SkipWithError("vipsthumbnail is not installed or failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_MB"] = peak;
    state.counters["child_cpu_ms_per_photo"] = cpu * 1000 / state.iterations();
}

void CameraPhotoVipsthumbnailBatch(benchmark::State& state) {
    setenv("VIPS_CONCURRENCY", "1", 1);
    double cpu = 0;
    std::vector<std::string> inputs;
    for (int i = 0; i < kBatch; ++i) {
        inputs.push_back(input(i));
    }
    double peak = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        peak = runVipsthumbnail(inputs, &cpu);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (peak < 0) {
            state.SkipWithError("vipsthumbnail is not installed or failed");
            return;
        }
        state.SetIterationTime(elapsed.count() / kBatch);
    }
    state.counters["child_cpu_ms_per_photo"] = cpu * 1000 / (state.iterations() * kBatch);
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_MB"] = peak;
}

}  // namespace

BENCHMARK(CameraPhotoProofshot)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoNaive)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoVipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CameraPhotoVipsthumbnailBatch)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char** argv) {
    selfPath = fs::canonical("/proc/self/exe").string();
    if (argc == 3 && std::string(argv[1]) == "--peak-of") {
        return measurePeak(argv[2]);
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
