#include <gtest/gtest.h>

#include <stdlib.h>

#include "platform/core/RunLoop.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/SimulatedCamera.h"
#include "platform/ui/TestCamera.h"
#include "platform/ui/V4L2Camera.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;
namespace fs = std::filesystem;

class CameraTest : public ::testing::Test {
protected:
    void TearDown() override { CameraDevice::setCurrent(nullptr); }
};

TEST_F(CameraTest, TakePictureDeliversLaterOnTheMainThreadInOrder) {
    auto camera = TestCamera::create();
    auto first = Image::create(quadrants(4, 4));
    auto second = Image::create(quadrants(6, 6));
    camera->enqueue(first);
    camera->enqueue(second);
    std::vector<ImagePtr> delivered;
    bool onMain = true;
    for (int i = 0; i < 2; ++i) {
        camera->takePicture([&](core::Expected<ImagePtr> picture) {
            onMain = onMain && core::RunLoop::main()->isCurrent();
            delivered.push_back(picture ? *picture : nullptr);
        });
    }
    EXPECT_TRUE(delivered.empty()) << "a picture never arrives inside takePicture";
    ASSERT_TRUE(core::testing::pumpUntil([&] { return delivered.size() == 2; }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(delivered[0], first);
    EXPECT_EQ(delivered[1], second);
    EXPECT_EQ(camera->captureCount(), 2);
}

TEST_F(CameraTest, GeneratedFramesHaveACameraSizeAndStayJPEG) {
    auto camera = SimulatedCamera::withGeneratedFrames();
    EXPECT_TRUE(camera->isAvailable());
    auto picture = camera->capture();
    ASSERT_TRUE(picture) << picture.error().description();
    EXPECT_EQ((*picture)->size(), (Size{3264, 2448}));
    ASSERT_NE((*picture)->jpegData(), nullptr);
    auto again = camera->capture();
    EXPECT_EQ(*(*again)->jpegData(), *(*picture)->jpegData()) << "encoded once, served as is";
}

TEST_F(CameraTest, FolderPicturesAreServedInTurn) {
    std::string pattern = (fs::temp_directory_path() / "camera-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    auto camera = SimulatedCamera::withFolder(folder);
    EXPECT_FALSE(camera->isAvailable());
    EXPECT_FALSE(camera->capture());

    writeFile(folder / "a.jpg", jpegOf(quadrants(10, 10)));
    writeFile(folder / "b.png", *PNGRepresentation(*Image::create(quadrants(20, 20))));
    writeFile(folder / "notes.txt", core::bytesFromString("not a picture"));
    EXPECT_TRUE(camera->isAvailable());
    std::vector<double> widths;
    for (int i = 0; i < 3; ++i) {
        auto picture = camera->capture();
        ASSERT_TRUE(picture);
        widths.push_back((*picture)->size().width);
    }
    EXPECT_EQ(widths, (std::vector<double>{10, 20, 10}));
    fs::remove_all(folder);
}

TEST_F(CameraTest, UnavailableCamerasRefuseToCapture) {
    auto camera = TestCamera::create();
    camera->setAvailable(false);
    auto result = camera->capture();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().domain(), CameraErrorDomain);

    auto missing = V4L2Camera::open("/dev/video-that-does-not-exist");
    EXPECT_FALSE(missing->isAvailable());
    result = missing->capture();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code(), static_cast<int>(CameraError::Unavailable));
}

}  // namespace
}  // namespace ui
