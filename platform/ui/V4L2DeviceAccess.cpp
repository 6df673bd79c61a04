#include "platform/ui/V4L2DeviceAccess.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace ui {
namespace {

class SystemAccess : public V4L2DeviceAccess {
public:
    std::vector<std::string> deviceNodes() override {
        std::vector<std::string> nodes;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
            if (entry.path().filename().string().rfind("video", 0) == 0) {
                nodes.push_back(entry.path().string());
            }
        }
        std::sort(nodes.begin(), nodes.end());
        return nodes;
    }
    int open(const std::string& path) override {
        return v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK);
    }
    void close(int fd) override { v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void* argument) override {
        return v4l2_ioctl(fd, request, argument);
    }
    void* map(int fd, std::size_t length, std::int64_t offset) override {
        return v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    void unmap(void* start, std::size_t length) override { v4l2_munmap(start, length); }
    int waitReadable(int fd, int timeoutMilliseconds) override {
        pollfd ready{fd, POLLIN, 0};
        int polled;
        do {
            polled = ::poll(&ready, 1, timeoutMilliseconds);
        } while (polled < 0 && errno == EINTR);
        return polled;
    }
};

}  // namespace

std::shared_ptr<V4L2DeviceAccess> V4L2DeviceAccess::system() {
    static const std::shared_ptr<V4L2DeviceAccess> access = std::make_shared<SystemAccess>();
    return access;
}

}  // namespace ui
