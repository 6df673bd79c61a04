#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TestCamera.h"
#include "shell/desktop/CameraPreview.h"
#include "tests/desktop/PumpPending.h"

namespace {

class CameraPreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        ui::CameraDevice::setCurrent(camera);
        preview->setIdentifier("cameraPreview");
        window->addSubview(preview);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        ui::CameraDevice::setCurrent(nullptr);
        ui::Application::shared()->resetForTesting();
    }

    core::VirtualClock clock;
    std::shared_ptr<ui::TestCamera> camera = ui::TestCamera::create();
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 480));
    std::shared_ptr<ui::ImageView> preview = ui::ImageView::create(window->bounds());
    shell::CameraPreview feeder{10};
};

TEST_F(CameraPreviewTest, ShowsLivePicturesOneAtATimeAtTheFrameRate) {
    feeder.update(*window);
    feeder.update(*window);  // one capture in flight at a time
    ASSERT_TRUE(desktop_testing::pumpMainLoopUntil([&] { return feeder.framesShown() == 1; }, 10));
    EXPECT_TRUE(preview->image());
    EXPECT_EQ(camera->captureCount(), 1);

    feeder.update(*window);  // too soon for the next frame
    desktop_testing::advanceAndPump(clock, 0.05);
    EXPECT_EQ(camera->captureCount(), 1);
    desktop_testing::advanceAndPump(clock, 0.06);
    feeder.update(*window);
    ASSERT_TRUE(desktop_testing::pumpMainLoopUntil([&] { return feeder.framesShown() == 2; }, 10));
}

TEST_F(CameraPreviewTest, CapturesNothingWhileTheCameraScreenIsNotShown) {
    preview->setHidden(true);
    feeder.update(*window);
    camera->setAvailable(false);
    preview->setHidden(false);
    feeder.update(*window);
    desktop_testing::advanceAndPump(clock, 1);
    EXPECT_EQ(camera->captureCount(), 0);
    EXPECT_FALSE(preview->image());
}

}  // namespace
