#include "platform/ui/V4L2Camera.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace ui {
namespace {

constexpr int kPollMilliseconds = 5000;
// Webcams adjust exposure over the first frames; the third is usually settled.
constexpr int kFramesToSettle = 3;

int xioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = v4l2_ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

// Closes the device and unmaps its buffers however a capture ends.
class Session {
public:
    explicit Session(const std::string& path) : fd_(v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK)) {}
    ~Session() {
        if (streaming_) {
            v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            xioctl(fd_, VIDIOC_STREAMOFF, &type);
        }
        for (auto& [start, length] : buffers_) {
            v4l2_munmap(start, length);
        }
        if (fd_ >= 0) {
            v4l2_close(fd_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int fd() const { return fd_; }
    bool canCapture() {
        v4l2_capability caps{};
        if (fd_ < 0 || xioctl(fd_, VIDIOC_QUERYCAP, &caps) != 0) {
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
    bool requeue(v4l2_buffer& buffer) { return xioctl(fd_, VIDIOC_QBUF, &buffer) == 0; }

private:
    int fd_;
    bool streaming_ = false;
    std::vector<std::pair<void*, std::size_t>> buffers_;
};

bool Session::mapBuffers() {
    v4l2_requestbuffers request{};
    request.count = 2;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_REQBUFS, &request) != 0 || request.count < 1) {
        return false;
    }
    for (unsigned i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0) {
            return false;
        }
        void* start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                                buffer.m.offset);
        if (start == MAP_FAILED) {
            return false;
        }
        buffers_.emplace_back(start, buffer.length);
        if (xioctl(fd_, VIDIOC_QBUF, &buffer) != 0) {
            return false;
        }
    }
    return true;
}

bool Session::start() {
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    streaming_ = xioctl(fd_, VIDIOC_STREAMON, &type) == 0;
    return streaming_;
}

core::Expected<v4l2_buffer> Session::nextFrame() {
    pollfd ready{fd_, POLLIN, 0};
    int polled;
    do {
        polled = ::poll(&ready, 1, kPollMilliseconds);
    } while (polled < 0 && errno == EINTR);
    if (polled <= 0) {
        return CameraDevice::error(CameraError::CaptureFailed,
                                   "The camera sent no picture in time");
    }
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buffer) != 0 || buffer.index >= buffers_.size()) {
        return CameraDevice::error(CameraError::CaptureFailed,
                                   std::string("The camera failed: ") + std::strerror(errno));
    }
    return buffer;
}

bool offersNatively(int fd, std::uint32_t pixelFormat) {
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &description) == 0;
         ++description.index) {
        if (description.pixelformat == pixelFormat &&
            !(description.flags & V4L2_FMT_FLAG_EMULATED)) {
            return true;
        }
    }
    return false;
}

std::pair<std::uint32_t, std::uint32_t> largestFrame(int fd, std::uint32_t pixelFormat) {
    v4l2_frmsizeenum size{};
    size.pixel_format = pixelFormat;
    std::pair<std::uint32_t, std::uint32_t> best{3264, 2448};  // the driver rounds to what it has
    std::uint64_t bestArea = 0;
    for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
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

core::Expected<v4l2_format> chooseFormat(int fd) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const std::uint32_t pixelFormat =
        offersNatively(fd, V4L2_PIX_FMT_MJPEG) ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_RGB24;
    auto [width, height] = largestFrame(fd, pixelFormat);
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(fd, VIDIOC_S_FMT, &format) != 0 || format.fmt.pix.pixelformat != pixelFormat) {
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

std::shared_ptr<V4L2Camera> V4L2Camera::open(std::string devicePath) {
    return std::shared_ptr<V4L2Camera>(new V4L2Camera(std::move(devicePath)));
}

std::shared_ptr<V4L2Camera> V4L2Camera::probe() {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        if (entry.path().filename().string().rfind("video", 0) == 0) {
            nodes.push_back(entry.path().string());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    for (const std::string& node : nodes) {
        if (Session(node).canCapture()) {
            return open(node);
        }
    }
    return nullptr;
}

V4L2Camera::V4L2Camera(std::string devicePath) : devicePath_(std::move(devicePath)) {}

std::string V4L2Camera::name() const {
    return "V4L2 camera " + devicePath_;
}

bool V4L2Camera::isAvailable() const {
    return Session(devicePath_).canCapture();
}

core::Expected<ImagePtr> V4L2Camera::capture() {
    std::lock_guard lock(captureMutex_);
    Session session(devicePath_);
    if (!session.canCapture()) {
        return error(CameraError::Unavailable, "No camera at " + devicePath_);
    }
    core::Expected<v4l2_format> format = chooseFormat(session.fd());
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
        if (frame >= kFramesToSettle + 5 || !session.requeue(*buffer)) {
            return error(CameraError::CaptureFailed,
                         "The camera at " + devicePath_ + " sent no usable frame");
        }
    }
}

}  // namespace ui
