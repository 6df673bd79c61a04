#pragma once

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Bytes.h"
#include "platform/ui/V4L2DeviceAccess.h"

namespace ui::testing {

// A capture device in memory, answering the ioctls a V4L2 driver would, so the camera's
// format choice, buffer handling and failures run without hardware. It counts what is left
// open or mapped.
class FakeV4L2Device : public V4L2DeviceAccess {
public:
    struct Format {
        std::uint32_t pixelFormat;
        bool emulated;
    };

    // Nodes present under /dev and which of them capture.
    std::vector<std::string> nodes{"/dev/video0"};
    std::set<std::string> capturing{"/dev/video0"};
    std::vector<Format> formats{{V4L2_PIX_FMT_MJPEG, false}};
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes{{64, 32}};
    // Frames handed out in turn; the last one repeats.
    std::vector<core::Bytes> frames;
    std::uint32_t rowPadding = 0;  // extra bytes at the end of each RGB24 row
    bool framesFlaggedBad = false;
    bool silent = false;  // the device never has a frame ready
    int vanishAfterFrames = -1;

    // What the camera did.
    v4l2_format chosen{};
    int framesDequeued = 0;
    int openCount = 0;
    std::size_t mappedCount = 0;

    std::vector<std::string> deviceNodes() override { return nodes; }

    int open(const std::string& path) override {
        if (std::find(nodes.begin(), nodes.end(), path) == nodes.end() || vanished()) {
            errno = ENOENT;
            return -1;
        }
        ++openCount;
        path_ = path;
        return 42;
    }
    void close(int) override { --openCount; }

    int ioctl(int, unsigned long request, void* argument) override {
        if (vanished()) {
            return fail(ENODEV);
        }
        switch (request) {
            case VIDIOC_QUERYCAP:
                return queryCapabilities(static_cast<v4l2_capability*>(argument));
            case VIDIOC_ENUM_FMT:
                return enumerateFormat(static_cast<v4l2_fmtdesc*>(argument));
            case VIDIOC_ENUM_FRAMESIZES:
                return enumerateSize(static_cast<v4l2_frmsizeenum*>(argument));
            case VIDIOC_S_FMT:
                return setFormat(static_cast<v4l2_format*>(argument));
            case VIDIOC_REQBUFS:
                return requestBuffers(static_cast<v4l2_requestbuffers*>(argument));
            case VIDIOC_QUERYBUF: {
                auto* buffer = static_cast<v4l2_buffer*>(argument);
                buffer->length = static_cast<std::uint32_t>(buffers_[buffer->index].size());
                buffer->m.offset = buffer->index * kOffsetStep;
                return 0;
            }
            case VIDIOC_QBUF:
                queued_.push_back(static_cast<v4l2_buffer*>(argument)->index);
                return 0;
            case VIDIOC_DQBUF:
                return dequeue(static_cast<v4l2_buffer*>(argument));
            case VIDIOC_STREAMON:
            case VIDIOC_STREAMOFF:
                return 0;
            default:
                return fail(ENOTTY);
        }
    }

    void* map(int, std::size_t length, std::int64_t offset) override {
        const std::size_t index = static_cast<std::size_t>(offset) / kOffsetStep;
        if (index >= buffers_.size() || length > buffers_[index].size()) {
            return MAP_FAILED;
        }
        ++mappedCount;
        return buffers_[index].data();
    }
    void unmap(void*, std::size_t) override { --mappedCount; }

    int waitReadable(int, int) override { return silent ? 0 : 1; }

private:
    static constexpr std::uint32_t kOffsetStep = 4096;

    static int fail(int error) {
        errno = error;
        return -1;
    }
    bool vanished() const { return vanishAfterFrames >= 0 && framesDequeued >= vanishAfterFrames; }

    int queryCapabilities(v4l2_capability* caps) {
        *caps = {};
        if (capturing.count(path_) != 0) {
            caps->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        }
        return 0;
    }
    int enumerateFormat(v4l2_fmtdesc* description) {
        if (description->index >= formats.size()) {
            return fail(EINVAL);
        }
        description->pixelformat = formats[description->index].pixelFormat;
        description->flags = formats[description->index].emulated ? V4L2_FMT_FLAG_EMULATED : 0;
        return 0;
    }
    int enumerateSize(v4l2_frmsizeenum* size) {
        if (size->index >= sizes.size()) {
            return fail(EINVAL);
        }
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = sizes[size->index].first;
        size->discrete.height = sizes[size->index].second;
        return 0;
    }
    int setFormat(v4l2_format* format) {
        v4l2_pix_format& pix = format->fmt.pix;
        const bool known = std::any_of(formats.begin(), formats.end(), [&](const Format& f) {
            return f.pixelFormat == pix.pixelformat;
        });
        if (!known && pix.pixelformat != V4L2_PIX_FMT_RGB24) {
            pix.pixelformat = formats.front().pixelFormat;  // drivers answer with what they have
        }
        pix.bytesperline = pix.pixelformat == V4L2_PIX_FMT_RGB24 ? pix.width * 3 + rowPadding : 0;
        chosen = *format;
        return 0;
    }
    int requestBuffers(v4l2_requestbuffers* request) {
        std::size_t largest = 1;
        for (const auto& frame : frames) {
            largest = std::max(largest, frame.size());
        }
        buffers_.assign(request->count, std::vector<std::uint8_t>(largest));
        return 0;
    }
    int dequeue(v4l2_buffer* buffer) {
        if (queued_.empty() || frames.empty()) {
            return fail(EAGAIN);
        }
        const unsigned index = queued_.front();
        queued_.pop_front();
        const core::Bytes& frame = frames[std::min<std::size_t>(
            static_cast<std::size_t>(framesDequeued), frames.size() - 1)];
        std::copy(frame.begin(), frame.end(), buffers_[index].begin());
        ++framesDequeued;
        buffer->index = index;
        buffer->bytesused = static_cast<std::uint32_t>(frame.size());
        buffer->flags = framesFlaggedBad ? V4L2_BUF_FLAG_ERROR : 0;
        return 0;
    }

    std::string path_;
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::deque<unsigned> queued_;
};

}  // namespace ui::testing
