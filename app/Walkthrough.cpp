#include "app/Walkthrough.h"

#include <functional>
#include <vector>

#include "app/AppDelegate.h"
#include "platform/core/VirtualClock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/PhotoAlbum.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/SimulatedCamera.h"
#include "platform/ui/ViewTransition.h"
#include "screens/photo_collection/AddPhotosView.h"
#include "screens/upload/UploadView.h"
#include "shell/HeadlessDriver.h"

namespace app {
namespace {

core::Error walkthroughError(const std::string& message) {
    return core::Error("WalkthroughErrorDomain", 1,
                       {{std::string(core::LocalizedDescriptionKey), core::Value(message)}});
}

struct Step {
    std::string title;  // printed with the screen after the step; empty: not printed
    std::function<core::Expected<void>()> action;
};

core::Expected<void> waitFor(shell::HeadlessDriver& driver, const std::function<bool()>& done,
                             const std::string& what) {
    if (driver.pumpUntil(done, 30.0)) {
        return {};
    }
    return walkthroughError("gave up waiting for " + what + "\n" + driver.dump());
}

}  // namespace

core::Expected<void> Walkthrough::prepareDevices() {
    const auto& work = settings_.workDirectory;
    std::error_code failure;
    std::filesystem::create_directories(work / "gallery", failure);
    std::filesystem::create_directories(work / "album", failure);
    if (failure) {
        return core::Error::posix(failure.value(), "Cannot create " + work.string());
    }
    auto scene = ui::SimulatedCamera::generateScene(1024, 768);
    auto jpeg = ui::JPEGEncoder::encode(*scene, 85);
    if (!jpeg) {
        return jpeg.error();
    }
    auto galleryPicture = work / "gallery" / "gallery-1.jpg";
    if (FILE* file = std::fopen(galleryPicture.c_str(), "wb")) {
        std::fwrite(jpeg->data(), 1, jpeg->size(), file);
        std::fclose(file);
    } else {
        return core::Error::posix(errno, "Cannot write " + galleryPicture.string());
    }
    ui::PhotoLibrary::setDefaultFolder(work / "gallery");
    ui::PhotoAlbum::setSavedPhotosFolder(work / "album");
    ui::CameraDevice::setCurrent(ui::SimulatedCamera::withGeneratedFrames());
    return {};
}

core::Expected<void> Walkthrough::run() {
    if (auto prepared = prepareDevices(); !prepared) {
        return prepared;
    }
    core::VirtualClock clock;
    shell::HeadlessDriver driver(&clock);
    auto delegate = std::make_shared<AppDelegate>(settings_.endpoints);
    if (!ui::Application::shared()->launch(delegate)) {
        return walkthroughError("the app did not launch");
    }
    auto front = [&driver] { return driver.visibleViewController()->className(); };
    auto photos = [&driver]() -> std::size_t {
        for (auto& controller : driver.window()->rootViewController()
                                    ? std::static_pointer_cast<ui::NavigationController>(
                                          driver.window()->rootViewController())
                                          ->viewControllers()
                                    : std::vector<ui::ViewControllerPtr>{}) {
            if (auto screen = std::dynamic_pointer_cast<AddPhotosView>(controller)) {
                return screen->newPics().size();
            }
        }
        return 0;
    };
    auto settle = [&driver](double seconds) { return driver.advance(seconds); };
    const double nav = ui::ViewTransition::kNavigationDuration;
    const double modal = ui::ViewTransition::kModalDuration;

    std::vector<Step> steps{
        {"The login screen", [] { return core::Expected<void>(); }},
        {"", [&] { return driver.type("username", settings_.username); }},
        {"", [&] { return driver.type("password", settings_.password); }},
        {"", [&] { return driver.tap("loginButton"); }},
        {"",
         [&] {
             return waitFor(
                 driver, [&] { return front() == "MainView"; }, "the login");
         }},
        {"Signed in: the order search screen", [&] { return settle(1.0); }},
        {"", [&] { return driver.type("orderNumber", settings_.order); }},
        {"", [&] { return driver.tap("searchButton"); }},
        {"Order " + settings_.order + " found",
         [&] {
             return waitFor(
                 driver, [&] { return bool(driver.find("addPhotosButton")); },
                 "the order's details");
         }},
        {"", [&] { return driver.tap("addPhotosButton"); }},
        {"The photo collection screen", [&] { return settle(nav); }},
        {"", [&] { return driver.tap("Add"); }},
        {"", [&] { return driver.answer("From Camera"); }},
        {"The camera with our controls", [&] { return settle(modal); }},
        {"", [&] { return driver.tap("takePictureButton"); }},
        {"",
         [&] {
             return waitFor(
                 driver, [&] { return photos() == 1; }, "the first picture");
         }},
        {"", [&] { return driver.tap("timedButton"); }},
        {"A timed picture pending", [&] { return settle(0.0); }},
        {"", [&] { return settle(5.0); }},
        {"",
         [&] {
             return waitFor(
                 driver, [&] { return photos() == 2; }, "the timed picture");
         }},
        {"", [&] { return driver.tap("startStopButton"); }},
        {"",
         [&] {
             return waitFor(
                 driver, [&] { return photos() == 3; }, "the series' first");
         }},
        {"", [&] { return settle(1.5); }},
        {"Continuous capture, two pictures in",
         [&] {
             return waitFor(
                 driver, [&] { return photos() == 4; }, "the series' second");
         }},
        {"", [&] { return driver.tap("startStopButton"); }},
        {"", [&] { return driver.tap("cancelButton"); }},
        {"", [&] { return settle(modal); }},
        {"", [&] { return driver.tap("Add"); }},
        {"", [&] { return driver.answer("From Photo Gallery"); }},
        {"The gallery", [&] { return settle(modal); }},
        {"", [&] { return driver.selectItem("photoLibrary", 0); }},
        {"", [&] { return driver.tap("Done"); }},
        {"Five photos in the grid", [&] { return settle(modal); }},
        {"", [&] { return driver.selectItem("collectionView", 1); }},
        {"", [&] { return driver.answer("Yes"); }},
        {"One photo removed", [&] { return core::Expected<void>(); }},
        {"", [&] { return driver.tap("Upload"); }},
        {"The upload screen asks for the location", [&] { return settle(nav); }},
        {"", [&] { return driver.answer("After Folder"); }},
        {"Uploaded",
         [&] {
             return waitFor(
                 driver, [&] { return bool(driver.find("btn")); }, "the uploads");
         }},
        {"", [&] { return driver.tap("btn"); }},
        {"Back on the order search screen", [&] { return settle(nav); }},
    };
    for (const Step& step : steps) {
        if (auto done = step.action(); !done) {
            ui::Application::shared()->resetForTesting();
            return done;
        }
        if (!step.title.empty()) {
            out_ << "== " << step.title << " ==\n" << driver.dump() << "\n";
        }
    }
    ui::PhotoAlbum::savedPhotos()->waitForPendingWrites();
    out_ << "Camera pictures in the album: " << (settings_.workDirectory / "album").string()
         << "\n";
    ui::Application::shared()->resetForTesting();
    return {};
}

}  // namespace app
