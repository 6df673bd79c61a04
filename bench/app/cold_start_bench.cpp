// The program's cold start: from starting the process to the login screen drawn once, on the
// headless driver (`proofshot --first-frame`). Each iteration starts the real binary afresh.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

extern char** environ;

namespace {

// The time until the program reports its first frame; negative when it never does.
double secondsToFirstFrame() {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char program[] = PROOFSHOT_BINARY;
    char option[] = "--first-frame";
    char* arguments[] = {program, option, nullptr};
    const auto started = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string output;
    double seconds = -1;
    const auto deadline = started + std::chrono::seconds(20);
    while (spawned == 0 && seconds < 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{pipeFds[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(got));
        if (output.find("First frame: ViewController") != std::string::npos) {
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid &&
        !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        return -1;
    }
    return seconds;
}

void ColdStartToLoginDrawn(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = secondsToFirstFrame();
        if (seconds < 0) {
            state.SkipWithError("the program did not draw its login screen");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

}  // namespace

BENCHMARK(ColdStartToLoginDrawn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

BENCHMARK_MAIN();
