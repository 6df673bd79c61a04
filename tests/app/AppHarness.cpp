#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"

#include <fstream>

#include "app/SharedGlobals.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/PhotoAlbum.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Resources.h"
#include "platform/ui/ViewTransition.h"
#include "screens/order_search/MainView.h"
#include "screens/photo_collection/AddPhotosView.h"

namespace apptest {
namespace {

core::Bytes patternJPEG(int width, int height) {
    auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->row(y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = row + 3 * x;
            px[0] = static_cast<std::uint8_t>(x * 255 / width);
            px[1] = static_cast<std::uint8_t>(y * 255 / height);
            px[2] = static_cast<std::uint8_t>((x ^ y) & 0xff);
        }
    }
    return *ui::JPEGEncoder::encode(*bitmap, 90);
}

}  // namespace

ui::ImagePtr makeJPEGPicture(int width, int height) {
    return *ui::Image::create(patternJPEG(width, height));
}

AppHarness::AppHarness(app::ServiceEndpoints endpoints) {
    static int counter = 0;
    directory = std::filesystem::temp_directory_path() /
                ("proofshot-app-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    gallery = directory / "gallery";
    album = directory / "album";
    std::filesystem::create_directories(gallery);
    std::filesystem::create_directories(album);
    auto jpeg = patternJPEG(800, 600);
    std::ofstream(gallery / "picked.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));

    ui::Application::shared()->resetForTesting();
    ui::Prompt::removeAllForTesting();
    ui::Resources::setDirectory(std::filesystem::path(PROOFSHOT_SOURCE_DIR) / "resources");
    ui::PhotoLibrary::setDefaultFolder(gallery);
    ui::PhotoAlbum::setSavedPhotosFolder(album);
    ui::CameraDevice::setCurrent(camera);
    app::SharedGlobals::sharedInstance()->clear();
    delegate = std::make_shared<app::AppDelegate>(std::move(endpoints));
    EXPECT_TRUE(ui::Application::shared()->launch(delegate));
}

AppHarness::~AppHarness() {
    ui::PhotoAlbum::savedPhotos()->waitForPendingWrites();
    ui::Prompt::removeAllForTesting();
    ui::Application::shared()->resetForTesting();
    ui::CameraDevice::setCurrent(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string AppHarness::front() const {
    auto controller = driver.visibleViewController();
    return controller ? controller->className() : "";
}

std::shared_ptr<ui::NavigationController> AppHarness::navigation() const {
    return std::static_pointer_cast<ui::NavigationController>(
        delegate->window()->rootViewController());
}

std::string AppHarness::promptLine() {
    auto prompt = ui::Prompt::visiblePrompt();
    return prompt ? prompt->dumpLine() : "";
}

std::size_t AppHarness::albumCount() const {
    ui::PhotoAlbum::savedPhotos()->waitForPendingWrites();
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(album)) {
        ++count;
    }
    return count;
}

#define HARNESS_STEP(expression)                                                    \
    do {                                                                            \
        if (auto result = (expression); !result) {                                  \
            return ::testing::AssertionFailure()                                    \
                   << #expression << ": " << result.error().localizedDescription(); \
        }                                                                           \
    } while (false)

::testing::AssertionResult AppHarness::signIn(const std::string& user,
                                              const std::string& password) {
    HARNESS_STEP(driver.type("username", user));
    HARNESS_STEP(driver.type("password", password));
    HARNESS_STEP(driver.tap("loginButton"));
    if (!driver.pumpUntil([&] { return front() == "MainView"; })) {
        return ::testing::AssertionFailure() << "no order search screen:\n" << driver.dump();
    }
    HARNESS_STEP(driver.advance(1.0));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AppHarness::search(const std::string& order) {
    HARNESS_STEP(driver.type("orderNumber", order));
    HARNESS_STEP(driver.tap("searchButton"));
    auto main = screen<app::MainView>();
    if (!driver.pumpUntil([&] { return !main->activity()->isAnimating(); })) {
        return ::testing::AssertionFailure() << "the search did not end:\n" << driver.dump();
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AppHarness::openPhotos() {
    HARNESS_STEP(driver.tap("addPhotosButton"));
    HARNESS_STEP(driver.advance(ui::ViewTransition::kNavigationDuration));
    if (front().rfind("AddPhotosView", 0) != 0) {
        return ::testing::AssertionFailure() << "not on the photos screen:\n" << driver.dump();
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AppHarness::openPicker(const std::string& choice) {
    HARNESS_STEP(driver.tap("Add"));
    HARNESS_STEP(driver.answer(choice));
    HARNESS_STEP(driver.advance(ui::ViewTransition::kModalDuration));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AppHarness::finishPicker(const std::string& control) {
    HARNESS_STEP(driver.tap(control));
    HARNESS_STEP(driver.advance(ui::ViewTransition::kModalDuration));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AppHarness::waitForPhotos(std::size_t count) {
    auto photos = screen<app::AddPhotosView>();
    if (!photos) {
        return ::testing::AssertionFailure() << "no photos screen";
    }
    if (!driver.pumpUntil([&] { return photos->newPics().size() == count; })) {
        return ::testing::AssertionFailure()
               << "have " << photos->newPics().size() << " photos, want " << count;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace apptest
