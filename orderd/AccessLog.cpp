#include "orderd/AccessLog.h"

#include <array>
#include <ctime>

namespace orderd {

void AccessLog::write(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

std::string AccessLog::timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text.data();
}

}  // namespace orderd
