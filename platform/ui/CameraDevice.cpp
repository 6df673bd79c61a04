#include "platform/ui/CameraDevice.h"

#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/ui/SimulatedCamera.h"
#include "platform/ui/V4L2Camera.h"

namespace ui {
namespace {

std::mutex registryMutex;
std::optional<std::shared_ptr<CameraDevice>> currentDevice;  // guarded by registryMutex

std::shared_ptr<CameraDevice> deviceFromEnvironment() {
    const char* setting = std::getenv("PROOFSHOT_CAMERA");
    const std::string choice = setting != nullptr ? setting : "v4l2";
    if (choice == "none") {
        return nullptr;
    }
    if (choice == "simulated") {
        return SimulatedCamera::withGeneratedFrames();
    }
    if (choice.rfind("simulated:", 0) == 0) {
        return SimulatedCamera::withFolder(choice.substr(10));
    }
    if (choice.rfind("v4l2:", 0) == 0) {
        return V4L2Camera::open(choice.substr(5));
    }
    return V4L2Camera::probe();
}

}  // namespace

CameraDevice::CameraDevice() : queue_(core::DispatchQueue::createSerial("ui.camera")) {}

void CameraDevice::takePicture(CaptureCompletion completion) {
    queue_->async([device = shared_from_this(), completion = std::move(completion)] {
        core::Expected<ImagePtr> picture = device->capture();
        core::DispatchQueue::main()->async(
            [completion, picture = std::move(picture)] { completion(picture); });
    });
}

std::shared_ptr<CameraDevice> CameraDevice::current() {
    std::lock_guard lock(registryMutex);
    if (!currentDevice) {
        currentDevice = deviceFromEnvironment();
    }
    return *currentDevice;
}

void CameraDevice::setCurrent(std::shared_ptr<CameraDevice> device) {
    std::lock_guard lock(registryMutex);
    currentDevice = std::move(device);
}

bool CameraDevice::isCameraAvailable() {
    std::shared_ptr<CameraDevice> device = current();
    return device != nullptr && device->isAvailable();
}

core::Error CameraDevice::error(CameraError code, const std::string& message) {
    return core::Error(std::string(CameraErrorDomain), static_cast<std::int64_t>(code),
                       {{std::string(core::LocalizedDescriptionKey), core::Value(message)}});
}

}  // namespace ui
