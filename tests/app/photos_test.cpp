#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "screens/camera_overlay/OverlayViewController.h"
#include "screens/photo_collection/AddPhotosView.h"
#include "tests/app/AppHarness.h"

// The photo collection screen and the camera overlay, with the test camera.
namespace {

using ::testing::ElementsAre;

class PhotosTest : public ::testing::Test {
protected:
    void SetUp() override {
        photos = app::AddPhotosView::create("AddPhotosView", {});
        app.navigation()->pushViewController(photos, ui::Animated::No);
        overlay = photos->overlayViewController();
        ASSERT_TRUE(overlay);
    }
    ::testing::AssertionResult openCamera() { return app.openPicker("From Camera"); }
    // How many pictures the camera has taken once `seconds` more have passed.
    int capturesAfter(double seconds) {
        EXPECT_TRUE(app.driver.advance(seconds));
        app.driver.pumpPending();
        return app.camera->captureCount();
    }
    std::vector<bool> controlsEnabled() const {
        return {overlay->cancelButton()->isEnabled(), overlay->takePictureButton()->isEnabled(),
                overlay->timedButton()->isEnabled(), overlay->startStopButton()->isEnabled()};
    }

    apptest::AppHarness app{{}};
    std::shared_ptr<app::AddPhotosView> photos;
    std::shared_ptr<app::OverlayViewController> overlay;
};

TEST_F(PhotosTest, CameraPicturesGoToTheGridSmallAndToTheAlbumFullSize) {
    app.camera->enqueue(apptest::makeJPEGPicture(1632, 1224));
    app.camera->enqueue(
        ui::Image::create(*apptest::makeJPEGPicture(1224, 1632), 1.0, ui::ImageOrientation::Up));
    for (int showing = 0; showing < 2; ++showing) {
        ASSERT_TRUE(openCamera());
        EXPECT_EQ(app.front(), "CameraViewController");
        EXPECT_EQ(overlay->imagePickerController()->cameraOverlayView()->subviews().size(), 1u);
        ASSERT_TRUE(app.driver.tap("takePictureButton"));
        ASSERT_TRUE(app.waitForPhotos(std::size_t(showing) + 1));
        ASSERT_TRUE(app.finishPicker("cancelButton"));
        EXPECT_EQ(app.front(), "AddPhotosView");
    }
    for (const auto& photo : photos->newPics()) {
        EXPECT_EQ(photo->size(), (ui::Size{640, 480}));
    }
    EXPECT_EQ(app.albumCount(), 2u);
    EXPECT_TRUE(app.logged("Done with Camera"));
    // Two showings of one picture each: the preview now cycles through both.
    EXPECT_TRUE(photos->imageView()->isAnimating());
    EXPECT_EQ(photos->imageView()->animationImages().size(), 2u);
    EXPECT_EQ(photos->imageView()->animationDuration(), 5.0);
    EXPECT_TRUE(photos->capturedImages().empty());
}

TEST_F(PhotosTest, RemovalPromptRemovesOnlyOnYes) {
    for (int i = 0; i < 3; ++i) {
        core::NotificationCenter::defaultCenter()->post(app::kImageNotification,
                                                        apptest::makeJPEGPicture(64 + i, 48));
    }
    auto original = photos->newPics();
    ASSERT_TRUE(app.driver.selectItem("collectionView", 1));
    EXPECT_EQ(apptest::AppHarness::promptLine(), "Sheet \"Remove this photo?\" [0: Yes] [1: No]");
    ASSERT_TRUE(app.driver.answer("No"));
    ASSERT_TRUE(app.driver.selectItem("collectionView", 1));
    ASSERT_TRUE(app.driver.dismissPrompt());
    EXPECT_EQ(photos->newPics(), original);
    ASSERT_TRUE(app.driver.selectItem("collectionView", 1));
    ASSERT_TRUE(app.driver.answer("Yes"));
    EXPECT_THAT(photos->newPics(), ElementsAre(original[0], original[2]));
    EXPECT_TRUE(app.logged("Button clicked: 0"));
    EXPECT_TRUE(app.logged("Button clicked: 1"));
    // The next sheet is the "Add Photos" one again: the camera opens, nothing is removed.
    ASSERT_TRUE(openCamera());
    EXPECT_EQ(app.front(), "CameraViewController");
    EXPECT_EQ(photos->newPics().size(), 2u);
}

TEST_F(PhotosTest, ContinuousCaptureEveryOneAndAHalfSecondsUntilStopped) {
    ASSERT_TRUE(openCamera());
    ASSERT_TRUE(app.driver.tap("startStopButton"));
    EXPECT_EQ(overlay->startStopButton()->title(), "Stop");
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{false, false, false, true}));
    ASSERT_TRUE(app.waitForPhotos(1)) << "the first picture is asked for at once";
    EXPECT_EQ(capturesAfter(1.4), 1);
    ASSERT_TRUE(app.driver.advance(0.1));
    ASSERT_TRUE(app.waitForPhotos(2));
    ASSERT_TRUE(app.driver.advance(1.5));
    ASSERT_TRUE(app.waitForPhotos(3));
    EXPECT_FALSE(app.logged("Executing finishAndUpdate"));

    // Finishing is refused while the series runs.
    overlay->done(nullptr);
    EXPECT_TRUE(app.logged("Pressed Done"));
    EXPECT_EQ(app.front(), "CameraViewController");

    ASSERT_TRUE(app.driver.tap("startStopButton"));
    EXPECT_EQ(overlay->startStopButton()->title(), "Start");
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(capturesAfter(6.0), 3);
    EXPECT_EQ(app.albumCount(), 3u);
}

TEST_F(PhotosTest, TimedPictureComesOnceAfterFiveSecondsWithTheControlsHeld) {
    ASSERT_TRUE(openCamera());
    std::vector<std::string> events;
    core::ObserverToken token = core::NotificationCenter::defaultCenter()->addObserver(
        app::kImageNotification, [&](const core::Notification&) {
            events.push_back(app.logged("Executing finishAndUpdate") ? "IMAGE after finish"
                                                                     : "IMAGE");
        });
    ASSERT_TRUE(app.driver.tap("timedButton"));
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(capturesAfter(4.9), 0);
    ASSERT_TRUE(app.driver.advance(0.1));
    ASSERT_TRUE(app.waitForPhotos(1));
    EXPECT_THAT(events, ElementsAre("IMAGE after finish"));
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(capturesAfter(20.0), 1);
    EXPECT_EQ(photos->imageView()->image(), photos->capturedImages().at(0));
}

TEST_F(PhotosTest, MemoryWarningDuringACaptureGivesTheControlsBack) {
    ASSERT_TRUE(openCamera());
    ASSERT_TRUE(app.driver.tap("timedButton"));
    ui::Application::shared()->sendMemoryWarning();
    EXPECT_FALSE(overlay->isTimerRunning());
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(app.logged("Executing finishAndUpdate"));

    ASSERT_TRUE(app.driver.tap("startStopButton"));
    ASSERT_TRUE(app.waitForPhotos(1));
    ui::Application::shared()->sendMemoryWarning();
    EXPECT_EQ(overlay->startStopButton()->title(), "Start");
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(capturesAfter(10.0), 1);
    ASSERT_TRUE(app.finishPicker("cancelButton"));
    EXPECT_EQ(app.front(), "AddPhotosView");
}

TEST_F(PhotosTest, AFailedCaptureEndsTheSeriesAndGivesTheControlsBack) {
    auto failure = ui::CameraDevice::error(ui::CameraError::CaptureFailed, "sensor timeout");
    auto finishes = [&] {
        auto lines = app.log.messages();
        return std::count(lines.begin(), lines.end(), "Executing finishAndUpdate");
    };
    ASSERT_TRUE(openCamera());
    app.camera->enqueue(failure);
    ASSERT_TRUE(app.driver.tap("timedButton"));
    ASSERT_TRUE(app.driver.advance(5.0));
    ASSERT_TRUE(app.driver.pumpUntil([&] { return finishes() == 1; }));
    EXPECT_TRUE(app.logged("Capture failed: sensor timeout"));
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));

    // A continuous series that fails on its second picture stops there.
    app.camera->enqueue(apptest::makeJPEGPicture(64, 48));
    app.camera->enqueue(failure);
    ASSERT_TRUE(app.driver.tap("startStopButton"));
    ASSERT_TRUE(app.waitForPhotos(1));
    ASSERT_TRUE(app.driver.advance(1.5));
    ASSERT_TRUE(app.driver.pumpUntil([&] { return finishes() == 2; }));
    EXPECT_FALSE(overlay->isTimerRunning());
    EXPECT_EQ(overlay->startStopButton()->title(), "Start");
    EXPECT_EQ(controlsEnabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(capturesAfter(10.0), 3);
}

TEST_F(PhotosTest, WithoutACameraTheToolbarIsEmptyAndTheCameraNeverOpens) {
    app.navigation()->popViewControllerAnimated(ui::Animated::No);
    app.camera->setAvailable(false);
    photos = app::AddPhotosView::create("AddPhotosViewSmall", {});
    app.navigation()->pushViewController(photos, ui::Animated::No);
    EXPECT_TRUE(photos->myToolbar()->items().empty());
    ASSERT_TRUE(openCamera());
    EXPECT_EQ(app.front(), "AddPhotosView");
}

TEST(ResizePicTest, EveryPictureBecomesSixFortyByFourEightyUpright) {
    for (auto [width, height, orientation] :
         {std::tuple{3264, 2448, ui::ImageOrientation::Up},
          std::tuple{2448, 3264, ui::ImageOrientation::Up},
          std::tuple{3264, 2448, ui::ImageOrientation::Right}}) {
        auto source = apptest::makeJPEGPicture(width, height);
        auto turned = ui::Image::create(*source, 1.0, orientation);
        auto copy = app::AddPhotosView::resizePic(*turned);
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->pixelWidth(), 640);
        EXPECT_EQ(copy->pixelHeight(), 480);
        EXPECT_EQ(copy->orientation(), ui::ImageOrientation::Up);
    }
}

}  // namespace
