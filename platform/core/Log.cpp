#include "platform/core/Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace core {

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

Log::Sink& currentSink() {
    static Log::Sink sink;  // guarded by logMutex()
    return sink;
}

std::string timeStamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03ld", now.tv_nsec / 1'000'000);
    return text;
}

void writeToStderr(const std::string& line) {
    std::size_t written = 0;
    while (written < line.size()) {
        ssize_t count = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;  // nowhere left to report a failing log
        }
        written += static_cast<std::size_t>(count);
    }
}

// The message part of a formatted line: everything after "] ".
std::string messageOf(const std::string& line) {
    std::size_t end = line.find("] ");
    return end == std::string::npos ? line : line.substr(end + 2);
}

}  // namespace

std::string Log::formatLine(std::string_view message) {
    if (!message.empty() && message.back() == '\n') {
        message.remove_suffix(1);
    }
    return timeStamp() + " " + program_invocation_short_name + "[" + std::to_string(::getpid()) +
           ":" + std::to_string(::syscall(SYS_gettid)) + "] " + std::string(message);
}

Log::Sink Log::setSink(Sink sink) {
    std::lock_guard lock(logMutex());
    std::swap(currentSink(), sink);
    return sink;
}

void log(std::string_view message) {
    std::string line = Log::formatLine(message);
    std::lock_guard lock(logMutex());
    if (currentSink()) {
        currentSink()(line);
    } else {
        writeToStderr(line + "\n");
    }
}

void logf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(message.data(), message.size() + 1, format, arguments);
    }
    va_end(arguments);
    log(message);
}

struct Log::Capture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;  // guarded by mutex
};

Log::Capture::Capture() : state_(std::make_shared<State>()) {
    previous_ = Log::setSink([state = state_](std::string_view line) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

Log::Capture::~Capture() {
    Log::setSink(std::move(previous_));
}

std::vector<std::string> Log::Capture::lines() const {
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

std::vector<std::string> Log::Capture::messages() const {
    std::vector<std::string> messages;
    for (const std::string& line : lines()) {
        messages.push_back(messageOf(line));
    }
    return messages;
}

bool Log::Capture::contains(std::string_view message) const {
    auto all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
}

}  // namespace core
