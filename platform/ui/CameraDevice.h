#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/DispatchQueue.h"
#include "platform/core/Expected.h"
#include "platform/ui/Image.h"

namespace ui {

inline constexpr std::string_view CameraErrorDomain = "CameraErrorDomain";
enum class CameraError {
    Unavailable = 1,    // no device, or it went away
    CaptureFailed = 2,  // the device gave no usable picture
};

// A source of full-size pictures: a V4L2 device, a simulated camera or a test double. The
// image picker asks the current device whether a camera is there and takes pictures with it.
class CameraDevice : public std::enable_shared_from_this<CameraDevice> {
public:
    using CaptureCompletion = std::function<void(core::Expected<ImagePtr>)>;

    virtual ~CameraDevice() = default;
    CameraDevice(const CameraDevice&) = delete;
    CameraDevice& operator=(const CameraDevice&) = delete;

    virtual std::string name() const = 0;
    virtual bool isAvailable() const = 0;
    // One picture, taken on the calling thread (blocks until it is there).
    virtual core::Expected<ImagePtr> capture() = 0;

    // Takes a picture on the device's own serial queue, so captures never overlap and finish
    // in the order asked, and delivers it later on the main thread.
    void takePicture(CaptureCompletion completion);

    // The device the app uses. Chosen on first use from $PROOFSHOT_CAMERA: "none",
    // "simulated" (generated frames), "simulated:<folder>", "v4l2" or "v4l2:<device>";
    // unset means the first V4L2 capture device, if any. Null when there is no camera.
    static std::shared_ptr<CameraDevice> current();
    static void setCurrent(std::shared_ptr<CameraDevice> device);
    // Whether the current device exists and is available.
    static bool isCameraAvailable();

    static core::Error error(CameraError code, const std::string& message);

protected:
    CameraDevice();

private:
    std::shared_ptr<core::DispatchQueue> queue_;
};

}  // namespace ui
