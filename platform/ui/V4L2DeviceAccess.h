#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// The system calls a V4L2 camera makes, behind one seam: libv4l2 on a real machine, a fake
// device in tests. Each returns what the system call does, with errno set on failure.
class V4L2DeviceAccess {
public:
    virtual ~V4L2DeviceAccess() = default;

    // The device nodes that might be cameras (/dev/video*), sorted.
    virtual std::vector<std::string> deviceNodes() = 0;
    virtual int open(const std::string& path) = 0;
    virtual void close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    // A read-write shared mapping of a driver buffer; MAP_FAILED on failure.
    virtual void* map(int fd, std::size_t length, std::int64_t offset) = 0;
    virtual void unmap(void* start, std::size_t length) = 0;
    // Waits until a frame can be dequeued: > 0 ready, 0 timed out, < 0 failed.
    virtual int waitReadable(int fd, int timeoutMilliseconds) = 0;

    // libv4l2 on the real /dev.
    static std::shared_ptr<V4L2DeviceAccess> system();
};

}  // namespace ui
