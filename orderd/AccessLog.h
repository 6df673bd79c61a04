#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace orderd {

// One line per request (and the odd server message) to a stream, whole lines at a time.
// Form bodies, and so passwords, never reach it.
class AccessLog {
public:
    explicit AccessLog(std::FILE* out) : out_(out) {}

    void write(const std::string& line);
    static std::string timestamp();

private:
    std::mutex mutex_;
    std::FILE* out_;  // guarded by mutex_
};

}  // namespace orderd
