#include "platform/ui/V4L2Camera.h"

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ui {
namespace {

constexpr int kPollMilliseconds = 5000;
// Webcams adjust exposure over the first frames; the third is usually settled.
constexpr int kFramesToSettle = 3;

int xioctl(V4L2DeviceAccess& access, int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = access.ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

// A device pulled out mid-capture answers ENODEV; it is gone, not merely failing.
core::Error deviceFailure(int error, const std::string& what) {
    if (error == ENODEV || error == ENXIO) {
        return CameraDevice::error(CameraError::Unavailable, "The camera went away");
    }
    return CameraDevice::error(CameraError::CaptureFailed, what + ": " + std::strerror(error));
}

// Closes the device and unmaps its buffers however a capture ends.
class Session {
public:
    Session(V4L2DeviceAccess& access, const std::string& path)
        : access_(access), fd_(access.open(path)) {}
    ~Session() {
        if (streaming_) {
            v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            xioctl(access_, fd_, VIDIOC_STREAMOFF, &type);
        }
        for (auto& [start, length] : buffers_) {
            access_.unmap(start, length);
        }
        if (fd_ >= 0) {
            access_.close(fd_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int fd() const { return fd_; }
    V4L2DeviceAccess& access() const { return access_; }
    bool canCapture() {
        v4l2_capability caps{};
        if (fd_ < 0 || xioctl(access_, fd_, VIDIOC_QUERYCAP, &caps) != 0) {
            return false;
        }
        // Nodes of multi-node drivers describe themselves in device_caps.
        std::uint32_t own =
            (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
        return (own & V4L2_CAP_VIDEO_CAPTURE) && (own & V4L2_CAP_STREAMING);
    }

    bool mapBuffers();
    bool start();
    core::Expected<v4l2_buffer> nextFrame();
    const void* bufferData(const v4l2_buffer& buffer) const { return buffers_[buffer.index].first; }
    // What the driver says it filled, never more than the mapping holds.
    std::size_t bytesUsed(const v4l2_buffer& buffer) const {
        return std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].second);
    }
    bool requeue(v4l2_buffer& buffer) { return xioctl(access_, fd_, VIDIOC_QBUF, &buffer) == 0; }

private:
    V4L2DeviceAccess& access_;
    int fd_;
    bool streaming_ = false;
    std::vector<std::pair<void*, std::size_t>> buffers_;
};

bool Session::mapBuffers() {
    v4l2_requestbuffers request{};
    request.count = 2;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(access_, fd_, VIDIOC_REQBUFS, &request) != 0 || request.count < 1) {
        return false;
    }
    for (unsigned i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(access_, fd_, VIDIOC_QUERYBUF, &buffer) != 0) {
            return false;
        }
        void* start = access_.map(fd_, buffer.length, buffer.m.offset);
        if (start == MAP_FAILED) {
            return false;
        }
        buffers_.emplace_back(start, buffer.length);
        if (xioctl(access_, fd_, VIDIOC_QBUF, &buffer) != 0) {
            return false;
        }
    }
    return true;
}

bool Session::start() {
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    streaming_ = xioctl(access_, fd_, VIDIOC_STREAMON, &type) == 0;
    return streaming_;
}

core::Expected<v4l2_buffer> Session::nextFrame() {
    const int polled = access_.waitReadable(fd_, kPollMilliseconds);
    if (polled < 0) {
        return deviceFailure(errno, "The camera failed");
    }
    if (polled == 0) {
        return CameraDevice::error(CameraError::CaptureFailed,
                                   "The camera sent no picture in time");
    }
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(access_, fd_, VIDIOC_DQBUF, &buffer) != 0) {
        return deviceFailure(errno, "The camera failed");
    }
    if (buffer.index >= buffers_.size()) {
        return CameraDevice::error(CameraError::CaptureFailed,
                                   "The camera handed back a buffer it was never given");
    }
    return buffer;
}

bool offersNatively(V4L2DeviceAccess& access, int fd, std::uint32_t pixelFormat) {
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; xioctl(access, fd, VIDIOC_ENUM_FMT, &description) == 0;
         ++description.index) {
        if (description.pixelformat == pixelFormat &&
            !(description.flags & V4L2_FMT_FLAG_EMULATED)) {
            return true;
        }
    }
    return false;
}

std::pair<std::uint32_t, std::uint32_t> largestFrame(V4L2DeviceAccess& access, int fd,
                                                     std::uint32_t pixelFormat) {
    v4l2_frmsizeenum size{};
    size.pixel_format = pixelFormat;
    std::pair<std::uint32_t, std::uint32_t> best{3264, 2448};  // the driver rounds to what it has
    std::uint64_t bestArea = 0;
    for (size.index = 0; xioctl(access, fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
            return {size.stepwise.max_width, size.stepwise.max_height};
        }
        std::uint64_t area = std::uint64_t{size.discrete.width} * size.discrete.height;
        if (area > bestArea) {
            bestArea = area;
            best = {size.discrete.width, size.discrete.height};
        }
    }
    return best;
}

core::Expected<v4l2_format> chooseFormat(V4L2DeviceAccess& access, int fd) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const std::uint32_t pixelFormat =
        offersNatively(access, fd, V4L2_PIX_FMT_MJPEG) ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_RGB24;
    auto [width, height] = largestFrame(access, fd, pixelFormat);
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(access, fd, VIDIOC_S_FMT, &format) != 0) {
        return deviceFailure(errno, "The camera refused its picture format");
    }
    if (format.fmt.pix.pixelformat != pixelFormat) {
        return CameraDevice::error(CameraError::CaptureFailed,
                                   "The camera offers no usable picture format");
    }
    return format;
}

core::Expected<ImagePtr> imageFromFrame(const v4l2_format& format, const void* data,
                                        std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const v4l2_pix_format& pix = format.fmt.pix;
    if (pix.pixelformat == V4L2_PIX_FMT_MJPEG) {
        core::Expected<ImagePtr> image = Image::create(core::Bytes(bytes, bytes + size));
        if (!image) {
            return CameraDevice::error(CameraError::CaptureFailed,
                                       image.error().localizedDescription());
        }
        return image;
    }
    const std::size_t stride = std::max<std::size_t>(pix.bytesperline, std::size_t{pix.width} * 3);
    if (pix.width == 0 || pix.height == 0 ||
        size < stride * (pix.height - 1) + std::size_t{pix.width} * 3) {
        return CameraDevice::error(CameraError::CaptureFailed, "The camera sent a short frame");
    }
    auto bitmap = std::make_shared<Bitmap>(static_cast<int>(pix.width),
                                           static_cast<int>(pix.height), PixelFormat::RGB8);
    for (std::uint32_t y = 0; y < pix.height; ++y) {
        std::memcpy(bitmap->row(static_cast<int>(y)), bytes + stride * y, bitmap->rowBytes());
    }
    return Image::create(std::move(bitmap));
}

}  // namespace

std::shared_ptr<V4L2Camera> V4L2Camera::open(std::string devicePath,
                                             std::shared_ptr<V4L2DeviceAccess> access) {
    return std::shared_ptr<V4L2Camera>(new V4L2Camera(std::move(devicePath), std::move(access)));
}

std::shared_ptr<V4L2Camera> V4L2Camera::probe(std::shared_ptr<V4L2DeviceAccess> access) {
    for (const std::string& node : access->deviceNodes()) {
        if (Session(*access, node).canCapture()) {
            return open(node, access);
        }
    }
    return nullptr;
}

V4L2Camera::V4L2Camera(std::string devicePath, std::shared_ptr<V4L2DeviceAccess> access)
    : devicePath_(std::move(devicePath)), access_(std::move(access)) {}

std::string V4L2Camera::name() const {
    return "V4L2 camera " + devicePath_;
}

bool V4L2Camera::isAvailable() const {
    return Session(*access_, devicePath_).canCapture();
}

core::Expected<ImagePtr> V4L2Camera::capture() {
    std::lock_guard lock(captureMutex_);
    Session session(*access_, devicePath_);
    if (!session.canCapture()) {
        return error(CameraError::Unavailable, "No camera at " + devicePath_);
    }
    core::Expected<v4l2_format> format = chooseFormat(*access_, session.fd());
    if (!format) {
        return format.error();
    }
    if (!session.mapBuffers() || !session.start()) {
        return error(CameraError::CaptureFailed,
                     "The camera at " + devicePath_ + " would not start");
    }
    for (int frame = 1;; ++frame) {
        core::Expected<v4l2_buffer> buffer = session.nextFrame();
        if (!buffer) {
            return buffer.error();
        }
        bool bad = (buffer->flags & V4L2_BUF_FLAG_ERROR) != 0 || buffer->bytesused == 0;
        if (frame >= kFramesToSettle && !bad) {
            return imageFromFrame(*format, session.bufferData(*buffer), session.bytesUsed(*buffer));
        }
        if (frame >= kFramesToSettle + 5) {
            return error(CameraError::CaptureFailed,
                         "The camera at " + devicePath_ + " sent no usable frame");
        }
        if (!session.requeue(*buffer)) {
            return deviceFailure(errno, "The camera at " + devicePath_ + " failed");
        }
    }
}

}  // namespace ui
