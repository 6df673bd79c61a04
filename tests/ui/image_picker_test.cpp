#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/Thread.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/TestCamera.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/ui/ImageTestFixtures.h"

namespace {

class PickerClient : public ui::ImagePickerControllerDelegate,
                     public ui::NavigationControllerDelegate {
public:
    void didFinishPickingMediaWithInfo(ui::ImagePickerController&,
                                       const ui::MediaInfo& info) override {
        onMainThread = onMainThread && core::Thread::isMainThread();
        auto found = info.find(ui::ImagePickerControllerOriginalImage);
        pictures.push_back(
            found == info.end() ? nullptr : std::dynamic_pointer_cast<ui::Image>(found->second));
    }
    void imagePickerControllerDidCancel(ui::ImagePickerController&) override { ++cancels; }
    void willShowViewController(ui::NavigationController&, const ui::ViewControllerPtr& shown,
                                ui::Animated) override {
        shown->navigationItem()->setRightBarButtonItem(
            ui::BarButtonItem::create("Done", ui::BarButtonItemStyle::Done));
        ++shows;
    }

    std::vector<ui::ImagePtr> pictures;
    bool onMainThread = true;
    int cancels = 0;
    int shows = 0;
};

class ImagePickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        folder = std::filesystem::temp_directory_path() /
                 ("proofshot-library-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        ui::PhotoLibrary::setDefaultFolder(folder);
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        picker->setDelegate(client);
    }
    void TearDown() override {
        ui::CameraDevice::setCurrent(nullptr);
        std::filesystem::remove_all(folder);
        ui::Application::shared()->resetForTesting();
    }

    void writePicture(const std::string& name, int width, int height) {
        auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
        auto png = ui::PNGRepresentation(*ui::Image::create(bitmap));
        ASSERT_TRUE(png);
        ui::testing::writeFile(folder / name, *png);
    }

    std::filesystem::path folder;
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 568));
    std::shared_ptr<ui::ViewController> screen = ui::ViewController::create();
    std::shared_ptr<ui::ImagePickerController> picker = ui::ImagePickerController::create();
    std::shared_ptr<PickerClient> client = std::make_shared<PickerClient>();
};

TEST_F(ImagePickerTest, WithoutACameraOnlyTheLibraryIsAvailable) {
    auto available = [](ui::ImagePickerSourceType type) {
        return ui::ImagePickerController::isSourceTypeAvailable(type);
    };
    ui::CameraDevice::setCurrent(nullptr);
    EXPECT_FALSE(available(ui::ImagePickerSourceType::Camera));
    EXPECT_TRUE(available(ui::ImagePickerSourceType::PhotoLibrary));
    auto camera = ui::TestCamera::create();
    ui::CameraDevice::setCurrent(camera);
    EXPECT_TRUE(available(ui::ImagePickerSourceType::Camera));
    camera->setAvailable(false);
    EXPECT_FALSE(available(ui::ImagePickerSourceType::Camera));
    ui::PhotoLibrary::setDefaultFolder(folder / "missing");
    EXPECT_FALSE(available(ui::ImagePickerSourceType::PhotoLibrary));
}

TEST_F(ImagePickerTest, TakenPicturesArriveLaterOnTheMainThread) {
    auto camera = ui::TestCamera::create();
    ui::CameraDevice::setCurrent(camera);
    picker->setSourceType(ui::ImagePickerSourceType::Camera);
    picker->setShowsCameraControls(false);
    screen->presentViewController(picker, ui::Animated::No);

    picker->takePicture();
    picker->takePicture();
    EXPECT_TRUE(client->pictures.empty()) << "takePicture must not deliver inline";
    ASSERT_TRUE(core::testing::pumpUntil([&] { return client->pictures.size() == 2; }));
    EXPECT_TRUE(client->onMainThread);
    EXPECT_TRUE(client->pictures[0] && client->pictures[1]);
    EXPECT_EQ(camera->captureCount(), 2);
    EXPECT_EQ(picker->pendingCaptures(), 0);
}

TEST_F(ImagePickerTest, OverlayChildrenShowAboveTheCameraAndControlsCanBeHidden) {
    ui::CameraDevice::setCurrent(ui::TestCamera::create());
    picker->setSourceType(ui::ImagePickerSourceType::Camera);
    auto toolbar = ui::View::create(ui::Rect(0, 500, 320, 68));
    picker->cameraOverlayView()->addSubview(toolbar);
    picker->setShowsCameraControls(false);
    screen->presentViewController(picker, ui::Animated::No);
    EXPECT_TRUE(toolbar->isVisibleOnScreen());
    EXPECT_EQ(window->hitTest(ui::Point{160, 530}), toolbar);
    EXPECT_TRUE(picker->navigationBar()->isHidden());
}

TEST_F(ImagePickerTest, LibraryPicksReachTheDelegateAndTheGalleryStaysUp) {
    writePicture("b.png", 40, 30);
    writePicture("a.png", 20, 10);
    std::ofstream(folder / "notes.txt") << "not a picture";
    picker->setSourceType(ui::ImagePickerSourceType::PhotoLibrary);
    screen->presentViewController(picker, ui::Animated::No);
    EXPECT_EQ(client->shows, 1) << "the navigation delegate hears of the gallery's first screen";
    auto shown = picker->topViewController();
    ASSERT_TRUE(shown->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(shown->navigationItem()->rightBarButtonItem()->title(), "Done");

    ASSERT_TRUE(picker->pickLibraryItem(1));
    ASSERT_EQ(client->pictures.size(), 1u);
    EXPECT_EQ(client->pictures[0]->size(), (ui::Size{40, 30})) << "items are in name order";
    EXPECT_EQ(screen->presentedViewController(), picker);
    EXPECT_FALSE(picker->pickLibraryItem(2)) << "only image files are items";

    picker->cancel();
    EXPECT_EQ(client->cancels, 1);
}

}  // namespace
