#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/AppDelegate.h"
#include "platform/core/Log.h"
#include "platform/core/VirtualClock.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TestCamera.h"
#include "shell/HeadlessDriver.h"

namespace apptest {

// The app launched headless on a virtual clock, with a test camera, a gallery of one picture
// and an album in a temporary folder, and every log line captured.
class AppHarness {
public:
    explicit AppHarness(app::ServiceEndpoints endpoints);
    ~AppHarness();

    // The class name of the screen in front ("MainView", "CameraViewController", ...).
    std::string front() const;
    std::shared_ptr<ui::NavigationController> navigation() const;
    // The screen of class T on the navigation stack, if any.
    template <class T>
    std::shared_ptr<T> screen() const {
        for (const auto& controller : navigation()->viewControllers()) {
            if (auto found = std::dynamic_pointer_cast<T>(controller)) {
                return found;
            }
        }
        return nullptr;
    }
    // The line of the prompt that is up ("Alert "Error": ..."), or empty.
    static std::string promptLine();
    std::size_t albumCount() const;
    bool logged(const std::string& message) const { return log.contains(message); }

    // Types the credentials, taps the button and lets the flip end; fails unless the order
    // search screen is in front afterwards.
    ::testing::AssertionResult signIn(const std::string& user, const std::string& password);
    // Searches and waits until the spinner stops.
    ::testing::AssertionResult search(const std::string& order);
    ::testing::AssertionResult openPhotos();
    // "From Camera" (or the gallery) from the "Add Photos" sheet, up to the picker.
    ::testing::AssertionResult openPicker(const std::string& choice);
    ::testing::AssertionResult finishPicker(const std::string& control);
    // Waits until the collection screen holds `count` photos.
    ::testing::AssertionResult waitForPhotos(std::size_t count);

    std::filesystem::path directory;
    std::filesystem::path gallery;
    std::filesystem::path album;
    core::VirtualClock clock;
    shell::HeadlessDriver driver{&clock};
    core::Log::Capture log;
    std::shared_ptr<ui::TestCamera> camera = ui::TestCamera::create();
    std::shared_ptr<app::AppDelegate> delegate;
};

// A JPEG picture of the given size, with a pattern so that it is not all one colour.
ui::ImagePtr makeJPEGPicture(int width, int height);

}  // namespace apptest
