#include "tests/e2e/OrderServiceProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <regex>

namespace apptest {
namespace {

std::vector<char*> argv(std::vector<std::string>& arguments) {
    std::vector<char*> list;
    for (auto& argument : arguments) {
        list.push_back(argument.data());
    }
    list.push_back(nullptr);
    return list;
}

// Starts the program with `arguments`; its standard input and output are the given pipes'
// ends (or inherited when -1).
pid_t spawn(std::vector<std::string> arguments, int input, int output) {
    arguments.insert(arguments.begin(), ORDERD_BINARY);
    auto list = argv(arguments);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (input >= 0) {
            ::dup2(input, STDIN_FILENO);
        }
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
        }
        ::execv(ORDERD_BINARY, list.data());
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

OrderServiceProcess::OrderServiceProcess() {
    static int counter = 0;
    dataDir_ = std::filesystem::temp_directory_path() /
               ("proofshot-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dataDir_);
    if (command({"seed", "--demo"})) {
        restart();
    }
}

bool OrderServiceProcess::restart() {
    stop();
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    pid_ = spawn({"serve", "--data", dataDir_.string(), "--listen", "127.0.0.1:0", "--access-log",
                  (dataDir_ / "access.log").string()},
                 -1, pipeFds[1]);
    ::close(pipeFds[1]);
    std::string firstLine;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (firstLine.find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd ready{pipeFds[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        firstLine.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    std::smatch match;
    if (std::regex_search(firstLine, match, std::regex("http://127\\.0\\.0\\.1:[0-9]+"))) {
        url_ = match.str();
    } else {
        stop();
    }
    return isRunning();
}

OrderServiceProcess::~OrderServiceProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(dataDir_, ignored);
}

bool OrderServiceProcess::command(const std::vector<std::string>& arguments,
                                  const std::string& input) const {
    std::vector<std::string> full = arguments;
    full.insert(full.begin() + (full[0] == "seed" ? 1 : std::min<std::ptrdiff_t>(2, full.size())),
                {"--data", dataDir_.string()});
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    pid_t pid = spawn(full, pipeFds[0], -1);
    ::close(pipeFds[0]);
    if (!input.empty()) {
        [[maybe_unused]] auto written = ::write(pipeFds[1], input.data(), input.size());
    }
    ::close(pipeFds[1]);
    return pid > 0 && waitFor(pid) == 0;
}

int OrderServiceProcess::stop(int signal) {
    int status = 0;
    if (pid_ > 0) {
        ::kill(pid_, signal);
        status = waitFor(pid_);
        pid_ = -1;
    }
    return status;
}

}  // namespace apptest
