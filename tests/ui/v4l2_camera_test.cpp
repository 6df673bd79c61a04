#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ui/ImagePickerController.h"
#include "platform/ui/V4L2Camera.h"
#include "tests/ui/FakeV4L2Device.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;

core::Bytes rgbRows(const Bitmap& bitmap, std::uint32_t padding) {
    core::Bytes bytes;
    for (int y = 0; y < bitmap.height(); ++y) {
        bytes.insert(bytes.end(), bitmap.row(y), bitmap.row(y) + bitmap.rowBytes());
        bytes.insert(bytes.end(), padding, 0xEE);
    }
    return bytes;
}

int errorCode(const core::Expected<ImagePtr>& picture) {
    return picture ? 0 : static_cast<int>(picture.error().code());
}

class V4L2CameraTest : public ::testing::Test {
protected:
    void TearDown() override {
        CameraDevice::setCurrent(nullptr);
        EXPECT_EQ(device->openCount, 0) << "the device was left open";
        EXPECT_EQ(device->mappedCount, 0u) << "buffers were left mapped";
    }

    core::Expected<ImagePtr> capture() {
        return V4L2Camera::open("/dev/video0", device)->capture();
    }

    std::shared_ptr<FakeV4L2Device> device = std::make_shared<FakeV4L2Device>();
};

TEST_F(V4L2CameraTest, WithoutCaptureNodesTheCameraSourceIsUnavailable) {
    device->nodes = {"/dev/video0", "/dev/video1"};
    device->capturing = {};  // e.g. metadata nodes of a driver
    EXPECT_EQ(V4L2Camera::probe(device), nullptr);
    device->nodes.clear();
    EXPECT_EQ(V4L2Camera::probe(device), nullptr);

    CameraDevice::setCurrent(V4L2Camera::probe(device));
    EXPECT_FALSE(ImagePickerController::isSourceTypeAvailable(ImagePickerSourceType::Camera));

    device->nodes = {"/dev/video0", "/dev/video1"};
    device->capturing = {"/dev/video1"};
    auto found = V4L2Camera::probe(device);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->devicePath(), "/dev/video1");
    CameraDevice::setCurrent(found);
    EXPECT_TRUE(ImagePickerController::isSourceTypeAvailable(ImagePickerSourceType::Camera));
}

TEST_F(V4L2CameraTest, NativeMotionJPEGAtTheLargestSizeIsKeptAsJPEGBytes) {
    device->formats = {{V4L2_PIX_FMT_YUYV, false}, {V4L2_PIX_FMT_MJPEG, false}};
    device->sizes = {{32, 16}, {64, 32}, {48, 24}};
    const core::Bytes settled = jpegOf(quadrants(64, 32));
    device->frames = {jpegOf(quadrants(16, 16)), jpegOf(quadrants(16, 16)), settled};

    auto picture = capture();
    ASSERT_TRUE(picture) << picture.error().description();
    EXPECT_EQ(device->chosen.fmt.pix.pixelformat, V4L2_PIX_FMT_MJPEG);
    EXPECT_EQ(device->chosen.fmt.pix.width, 64u);
    EXPECT_EQ(device->chosen.fmt.pix.height, 32u);
    EXPECT_EQ(device->framesDequeued, 3) << "the exposure settles over the first frames";
    ASSERT_NE((*picture)->jpegData(), nullptr);
    EXPECT_EQ(*(*picture)->jpegData(), settled);
}

TEST_F(V4L2CameraTest, WithoutNativeMotionJPEGFramesArrivePaddedRGB) {
    device->formats = {{V4L2_PIX_FMT_YUYV, false}, {V4L2_PIX_FMT_MJPEG, true}};
    device->rowPadding = 8;
    auto stored = quadrants(64, 32);
    device->frames = {rgbRows(*stored, 8)};

    auto picture = capture();
    ASSERT_TRUE(picture) << picture.error().description();
    EXPECT_EQ(device->chosen.fmt.pix.pixelformat, V4L2_PIX_FMT_RGB24);
    auto bitmap = (*picture)->bitmap();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ((*bitmap)->pixels(), stored->pixels()) << "row padding must be dropped";
}

TEST_F(V4L2CameraTest, ADeviceThatGoesAwayIsUnavailableAndReleased) {
    device->frames = {jpegOf(quadrants(64, 32))};
    device->vanishAfterFrames = 1;
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::Unavailable));
    EXPECT_FALSE(V4L2Camera::open("/dev/video0", device)->isAvailable());
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::Unavailable));
}

TEST_F(V4L2CameraTest, UnusableFramesAreCaptureFailures) {
    device->formats = {{V4L2_PIX_FMT_YUYV, false}};
    device->frames = {core::Bytes(64 * 3 * 31, 0)};  // a row short
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::CaptureFailed));

    device->frames = {rgbRows(*quadrants(64, 32), 0)};
    device->framesFlaggedBad = true;
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::CaptureFailed));
    EXPECT_LT(device->framesDequeued, 20) << "a broken device is not read forever";

    device->framesFlaggedBad = false;
    device->silent = true;
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::CaptureFailed));

    device->silent = false;
    device->formats = {{V4L2_PIX_FMT_MJPEG, false}};
    device->frames = {core::Bytes{0xFF, 0xD8, 0xFF, 0xD9}};  // not a picture
    EXPECT_EQ(errorCode(capture()), static_cast<int>(CameraError::CaptureFailed));
}

}  // namespace
}  // namespace ui
