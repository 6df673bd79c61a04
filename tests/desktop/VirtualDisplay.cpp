#include "tests/desktop/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace desktop_testing {

namespace {

// Reads what the server writes to its display descriptor up to the newline that ends the
// display number; empty when it exits or the deadline passes first.
std::string readDisplayNumber(int fd, double timeoutSeconds) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    std::string text;
    while (text.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buffer[32];
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return {};
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

VirtualDisplay::VirtualDisplay(const std::string& screen, double timeoutSeconds) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        fail("cannot make a pipe for Xvfb");
        return;
    }
    // Only the write end goes to the server, under a number it is told.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    constexpr int kDisplayFd = 3;
    posix_spawn_file_actions_adddup2(&actions, fds[1], kDisplayFd);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments{"Xvfb",      "-displayfd", std::to_string(kDisplayFd),
                                       "-screen",   "0",          screen,
                                       "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(fds[0]);
        fail("Xvfb cannot be started (is it installed?)");
        return;
    }
    std::string number = readDisplayNumber(fds[0], timeoutSeconds);
    ::close(fds[0]);
    if (number.empty()) {
        fail("Xvfb did not report a display within " + std::to_string(timeoutSeconds) + " s");
        return;
    }
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

void VirtualDisplay::fail(const std::string& why) {
    failure_ = why;
    display_.clear();
}

}  // namespace desktop_testing
