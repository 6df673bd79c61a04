#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/CameraDevice.h"
#include "platform/ui/V4L2DeviceAccess.h"

namespace ui {

// A Video4Linux2 capture device through libv4l2. Each capture opens the device, takes the
// largest frame it offers (Motion-JPEG when the device produces it, kept as JPEG bytes;
// otherwise RGB converted by libv4l2) and closes it again, so the device is free between
// pictures.
class V4L2Camera : public CameraDevice {
public:
    // A camera for the device node; whether it works shows in isAvailable and capture.
    static std::shared_ptr<V4L2Camera> open(
        std::string devicePath,
        std::shared_ptr<V4L2DeviceAccess> access = V4L2DeviceAccess::system());
    // The first /dev/video* node that can capture, or null.
    static std::shared_ptr<V4L2Camera> probe(
        std::shared_ptr<V4L2DeviceAccess> access = V4L2DeviceAccess::system());

    std::string name() const override;
    bool isAvailable() const override;
    core::Expected<ImagePtr> capture() override;

    const std::string& devicePath() const { return devicePath_; }

private:
    V4L2Camera(std::string devicePath, std::shared_ptr<V4L2DeviceAccess> access);

    const std::string devicePath_;
    const std::shared_ptr<V4L2DeviceAccess> access_;
    std::mutex captureMutex_;  // one capture at a time holds the device
};

}  // namespace ui
