// A camera picture (3264 x 2448 JPEG at quality 0.92) becomes its 640 x 480 copy and that
// copy's quality-1.0 JPEG, the work the app does for every photo it keeps and uploads. Each
// way runs on each kind of picture of CameraScenes.h (landscape, shelf, document: realistic
// 1.5 to 2.5 MB files; grainy: strong grain on every pixel, the worst case):
//   Proofshot - our path: the JPEG stays undecoded and is drawn with DCT-scaled decoding
//   Naive     - decode at full size, resample the whole bitmap, encode
//   VipsthumbnailBatch - the vipsthumbnail program, eight photos per process to leave out
//               its start-up, one thread
//   Convert   - ImageMagick's convert -thumbnail, one process per photo
// Each of ours also reports the peak memory one photo adds (peak_extra_MB); the programs
// report their own CPU time per photo. Their peak memory is not reported: a spawned child's
// ru_maxrss includes this process's peak, so measure it with /usr/bin/time from a shell.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/ui/CameraScenes.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/JPEGDecoder.h"
#include "platform/ui/JPEGEncoder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int kBatch = 8;

constexpr bench::SceneKind kKinds[] = {bench::SceneKind::Landscape, bench::SceneKind::Shelf,
                                       bench::SceneKind::Document, bench::SceneKind::Grainy};

// The picture one measurement works on: one kind's JPEG, or the file a child process was
// given to measure its peak memory.
core::Bytes& cameraJPEGStorage() {
    static core::Bytes bytes;
    return bytes;
}

const core::Bytes& sceneJPEG(bench::SceneKind kind) {
    static std::map<bench::SceneKind, core::Bytes> made;
    core::Bytes& bytes = made[kind];
    if (bytes.empty()) {
        bytes = *ui::JPEGEncoder::encode(*bench::cameraScene(kind, 3264, 2448), 92);
    }
    return bytes;
}

const core::Bytes& cameraJPEG() {
    return cameraJPEGStorage();
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "image-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return fs::path(pattern);
    }();
    return folder;
}

std::string input(bench::SceneKind kind, int i) {
    return (workFolder() / (bench::sceneName(kind) + std::to_string(i) + ".jpg")).string();
}

// Makes `kind` the current picture and writes its copies for the programs, once.
void prepare(bench::SceneKind kind) {
    cameraJPEGStorage() = sceneJPEG(kind);
    if (fs::exists(input(kind, kBatch - 1))) {
        return;
    }
    const core::Bytes& jpeg = cameraJPEG();
    for (int i = 0; i < kBatch; ++i) {
        std::ofstream(input(kind, i), std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()),
                   static_cast<std::streamsize>(jpeg.size()));
    }
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
double peakExtraMB(const char* path, bench::SceneKind kind) {
    std::vector<std::string> arguments = {selfPath, "--peak-of", path, input(kind, 0)};
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

// Runs `arguments` as a child process, adding its CPU time; false when it failed or is missing.
bool runProgram(std::vector<std::string> arguments, double* cpuSeconds) {
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    *cpuSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ImageMagick's own program under the names Debian and upstream give it; empty if none.
const std::string& imageMagickConvert() {
    static const std::string found = [] {
        const char* path = std::getenv("PATH");
        for (const char* name : {"convert-im6.q16", "magick", "convert"}) {
            std::string folders = path != nullptr ? path : "/usr/bin";
            for (std::size_t start = 0; start <= folders.size();) {
                std::size_t end = folders.find(':', start);
                end = end == std::string::npos ? folders.size() : end;
                fs::path candidate = fs::path(folders.substr(start, end - start)) / name;
                if (access(candidate.c_str(), X_OK) == 0) {
                    return candidate.string();
                }
                start = end + 1;
            }
        }
        return std::string();
    }();
    return found;
}

// This process's CPU time in ms. On a shared machine under load, wall time mostly measures
// waiting for a core; CPU time compares with the programs' own CPU time per photo.
double processCPUms() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void CameraPhotoProofshot(benchmark::State& state, bench::SceneKind kind) {
    prepare(kind);
    const double cpuBefore = processCPUms();
    for (auto _ : state) {
        benchmark::DoNotOptimize(proofshotPhoto());
    }
    state.counters["cpu_ms_per_photo"] = (processCPUms() - cpuBefore) / state.iterations();
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_extra_MB"] = peakExtraMB("proofshot", kind);
    state.counters["file_MB"] = cameraJPEG().size() / 1e6;
}

void CameraPhotoNaive(benchmark::State& state, bench::SceneKind kind) {
    prepare(kind);
    const double cpuBefore = processCPUms();
    for (auto _ : state) {
        benchmark::DoNotOptimize(naivePhoto());
    }
    state.counters["cpu_ms_per_photo"] = (processCPUms() - cpuBefore) / state.iterations();
    state.SetItemsProcessed(state.iterations());
    state.counters["peak_extra_MB"] = peakExtraMB("naive", kind);
}

void CameraPhotoVipsthumbnailBatch(benchmark::State& state, bench::SceneKind kind) {
    // One thread, as the app's own path uses, so the comparison is per core.
    setenv("VIPS_CONCURRENCY", "1", 1);
    prepare(kind);
    std::vector<std::string> arguments = {"vipsthumbnail", "--size=640x480!", "-o",
                                          (workFolder() / "%s_copy.jpg[Q=100]").string()};
    for (int i = 0; i < kBatch; ++i) {
        arguments.push_back(input(kind, i));
    }
    double cpu = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const bool ran = runProgram(arguments, &cpu);
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

void CameraPhotoConvert(benchmark::State& state, bench::SceneKind kind) {
    if (imageMagickConvert().empty()) {
        state.SkipWithError("ImageMagick's convert is not installed (Debian package imagemagick)");
        return;
    }
    prepare(kind);
    // -thumbnail resizes and drops metadata; with no jpeg:size hint given, the JPEG is
    // decoded at full size first. One thread, as above.
    const std::vector<std::string> arguments = {imageMagickConvert(),
                                                "-limit",
                                                "thread",
                                                "1",
                                                input(kind, 0),
                                                "-thumbnail",
                                                "640x480!",
                                                "-quality",
                                                "100",
                                                (workFolder() / "convert_copy.jpg").string()};
    double cpu = 0;
    for (auto _ : state) {
        if (!runProgram(arguments, &cpu)) {
            state.SkipWithError("ImageMagick's convert failed");
            return;
        }
    }
    state.counters["child_cpu_ms_per_photo"] = cpu * 1000 / state.iterations();
    state.SetItemsProcessed(state.iterations());
}

void registerAll() {
    for (bench::SceneKind kind : kKinds) {
        const std::string suffix = "/" + bench::sceneName(kind);
        benchmark::RegisterBenchmark(("CameraPhotoProofshot" + suffix).c_str(),
                                     CameraPhotoProofshot, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("CameraPhotoNaive" + suffix).c_str(), CameraPhotoNaive, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("CameraPhotoVipsthumbnailBatch" + suffix).c_str(),
                                     CameraPhotoVipsthumbnailBatch, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
        benchmark::RegisterBenchmark(("CameraPhotoConvert" + suffix).c_str(), CameraPhotoConvert,
                                     kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    selfPath = fs::canonical("/proc/self/exe").string();
    if (argc == 4 && std::string(argv[1]) == "--peak-of") {
        return measurePeak(argv[2], argv[3]);
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(workFolder());
    return 0;
}
