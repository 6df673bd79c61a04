#include "platform/ui/Device.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <utility>

namespace ui {

namespace {

std::mutex deviceMutex;
std::optional<std::pair<std::string, std::string>> overridden;  // guarded by deviceMutex

}  // namespace

Device Device::current() {
    Device device;
    utsname system{};
    if (uname(&system) == 0) {
        device.systemName_ = system.sysname;
        device.systemVersion_ = system.release;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        device.name_ = host;
    }
    device.model_ = "Desktop";
    std::lock_guard lock(deviceMutex);
    if (overridden) {
        device.model_ = overridden->first;
        device.systemVersion_ = overridden->second;
    }
    return device;
}

void Device::configure(std::string model, std::string systemVersion) {
    std::lock_guard lock(deviceMutex);
    overridden = std::make_pair(std::move(model), std::move(systemVersion));
}

}  // namespace ui
