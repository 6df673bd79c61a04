#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/AppDelegate.h"
#include "app/SharedGlobals.h"
#include "platform/ui/Application.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PhotoAlbum.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Resources.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SimulatedCamera.h"
#include "screens/photo_collection/AddPhotosView.h"
#include "screens/upload/UploadView.h"
#include "shell/HeadlessDriver.h"
#include "shell/desktop/BarLayout.h"
#include "shell/desktop/PromptLayout.h"
#include "shell/desktop/SdlWindow.h"
#include "tests/desktop/PumpPending.h"
#include "tests/desktop/SdlInput.h"
#include "tests/desktop/VirtualDisplay.h"
#include "tests/e2e/OrderServiceProcess.h"

// The app in its window on a private X server, worked only through the window's event queue
// (mouse clicks, typed text and keys, at the pixels where things are drawn) against the real
// order service, from the login screen to photos stored on the server.
namespace {

// Each step may wait this long for the app to get there; a loaded machine is slow, not stuck.
constexpr double kStepSeconds = 60.0;

class WindowRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display.isRunning()) {
            GTEST_SKIP() << "no virtual display: " << display.failure();
        }
        ASSERT_TRUE(service.isRunning()) << "proofshot-orderd did not start";
        directory = std::filesystem::temp_directory_path() /
                    ("proofshot-window-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory / "gallery");
        std::filesystem::create_directories(directory / "album");
        ui::Application::shared()->resetForTesting();
        ui::Prompt::removeAllForTesting();
        ui::Resources::setDirectory(std::filesystem::path(PROOFSHOT_SOURCE_DIR) / "resources");
        ui::PhotoLibrary::setDefaultFolder(directory / "gallery");
        ui::PhotoAlbum::setSavedPhotosFolder(directory / "album");
        ui::CameraDevice::setCurrent(ui::SimulatedCamera::withGeneratedFrames(800, 600));
        app::SharedGlobals::sharedInstance()->clear();
        ui::Screen::configure(ui::Size{320, 480}, 2);

        auto opened = shell::SdlWindow::open("Proofshot");
        ASSERT_TRUE(opened) << opened.error().localizedDescription();
        window = std::move(*opened);
        window->attachToMainLoop();
        auto delegate =
            std::make_shared<app::AppDelegate>(app::ServiceEndpoints{service.url(), service.url()});
        ASSERT_TRUE(ui::Application::shared()->launch(delegate));
        ASSERT_TRUE(pumpUntil([&] { return window->framesDrawn() > 0; }, "the first frame"));
        int width = 0;
        SDL_GetWindowSize(SDL_GetWindowFromID(window->id()), &width, nullptr);
        pixelsPerPoint = width / ui::Screen::main().bounds().width();
    }

    void TearDown() override {
        ui::PhotoAlbum::savedPhotos()->waitForPendingWrites();
        ui::Prompt::removeAllForTesting();
        ui::Application::shared()->resetForTesting();
        ui::CameraDevice::setCurrent(nullptr);
        window.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    ::testing::AssertionResult pumpUntil(const std::function<bool()>& done,
                                         const std::string& what) {
        if (desktop_testing::pumpMainLoopUntil(done, kStepSeconds)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "gave up waiting for " << what << "\n"
                                             << driver.dump();
    }

    // What a person does before tapping: waits until `shown` holds and the screen stands still.
    ::testing::AssertionResult settleOn(const std::function<bool()>& shown,
                                        const std::string& what) {
        if (auto waited = pumpUntil(shown, what); !waited) {
            return waited;
        }
        return pumpUntil([&] { return !window->isInMotion(); }, "the screen to come to rest");
    }

    void click(ui::Point point) {
        desktop_testing::pushClick(window->id(), static_cast<int>(point.x * pixelsPerPoint),
                                   static_cast<int>(point.y * pixelsPerPoint));
    }

    // Clicks the middle of the view named `name` once it is on screen and still.
    ::testing::AssertionResult clickView(const std::string& name) {
        if (auto ready = settleOn([&] { return bool(driver.find(name)); }, name); !ready) {
            return ready;
        }
        ui::Rect frame = driver.find(name)->frameInWindow();
        click({frame.midX(), frame.midY()});
        return ::testing::AssertionSuccess();
    }

    // Clicks what is named `name` (identifier or title): a view, or a bar item where its bar
    // draws it.
    ::testing::AssertionResult clickItem(const std::string& name) {
        auto shown = [&] { return driver.find(name) || driver.findItem(name); };
        if (auto ready = settleOn(shown, name); !ready) {
            return ready;
        }
        if (driver.find(name)) {
            return clickView(name);
        }
        auto item = driver.findItem(name);
        if (auto at = itemCentre(*driver.window(), item)) {
            click(*at);
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "no bar shows " << name << "\n" << driver.dump();
    }

    static std::optional<ui::Point> itemCentre(const ui::View& view,
                                               const ui::BarButtonItemPtr& item) {
        if (view.isHidden()) {
            return std::nullopt;
        }
        for (const auto& slot :
             shell::BarLayout::layout(shell::BarLayout::itemsOf(view), view.bounds())) {
            if (slot.item == item) {
                ui::Rect bar = view.frameInWindow();
                return ui::Point{bar.minX() + slot.frame.midX(), bar.minY() + slot.frame.midY()};
            }
        }
        for (const auto& child : view.subviews()) {
            if (auto found = itemCentre(*child, item)) {
                return found;
            }
        }
        return std::nullopt;
    }

    // Clicks the button titled `title` of the prompt that is up, once it has come all the way in.
    ::testing::AssertionResult answer(const std::string& title) {
        auto up = [&] {
            auto prompt = ui::Prompt::visiblePrompt();
            return prompt && prompt->indexOfButton(title);
        };
        if (auto ready = settleOn(up, "a prompt with " + title); !ready) {
            return ready;
        }
        auto prompt = ui::Prompt::visiblePrompt();
        int index = *prompt->indexOfButton(title);
        shell::PromptLayout layout(*prompt, driver.window()->bounds(), 1.0);
        for (const auto& slot : layout.buttons()) {
            if (slot.index == index) {
                click({slot.frame.midX(), slot.frame.midY()});
                return ::testing::AssertionSuccess();
            }
        }
        return ::testing::AssertionFailure() << title << " is not drawn";
    }

    template <class T>
    std::shared_ptr<T> screen() const {
        auto root = driver.window() ? driver.window()->rootViewController() : nullptr;
        auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(root);
        for (const auto& controller :
             navigation ? navigation->viewControllers() : std::vector<ui::ViewControllerPtr>{}) {
            if (auto found = std::dynamic_pointer_cast<T>(controller)) {
                return found;
            }
        }
        return nullptr;
    }

    std::size_t photoCount() const {
        auto photos = screen<app::AddPhotosView>();
        return photos ? photos->newPics().size() : 0;
    }

    std::string front() const {
        auto controller = driver.visibleViewController();
        return controller ? controller->className() : "";
    }

    desktop_testing::VirtualDisplay display;
    apptest::OrderServiceProcess service;
    std::filesystem::path directory;
    std::unique_ptr<shell::SdlWindow> window;
    double pixelsPerPoint = 1;
    shell::HeadlessDriver driver;  // reads the screen; never touches it
};

TEST_F(WindowRoadTest, SignInFindAnOrderTakeTwoPicturesAndUploadThemToTheAfterFolder) {
    // Sign in: click the name field, type, Tab to the password, type, click the button.
    ASSERT_TRUE(clickView("username"));
    desktop_testing::pushText(window->id(), "demo");
    desktop_testing::pushKey(window->id(), SDLK_TAB);
    desktop_testing::pushText(window->id(), "demo1234");
    ASSERT_TRUE(clickView("loginButton"));
    ASSERT_TRUE(pumpUntil([&] { return front() == "MainView"; }, "the order search screen"));

    // A wrong digit typed and taken back reaches the field as a person meant it.
    ASSERT_TRUE(clickView("orderNumber"));
    desktop_testing::pushText(window->id(), "1009");
    desktop_testing::pushKey(window->id(), SDLK_BACKSPACE);
    desktop_testing::pushText(window->id(), "1");
    ASSERT_TRUE(clickView("searchButton"));
    ASSERT_TRUE(clickView("addPhotosButton"));
    ASSERT_TRUE(pumpUntil([&] { return front() == "AddPhotosView"; }, "the photo screen"));
    EXPECT_EQ(app::SharedGlobals::sharedInstance()->orderID(), "1001");

    ASSERT_TRUE(clickItem("Add"));
    ASSERT_TRUE(answer("From Camera"));
    for (std::size_t taken = 1; taken <= 2; ++taken) {
        ASSERT_TRUE(clickItem("takePictureButton"));
        ASSERT_TRUE(pumpUntil([&] { return photoCount() == taken; }, "a picture"));
    }
    ASSERT_TRUE(clickItem("cancelButton"));
    ASSERT_TRUE(pumpUntil([&] { return front() == "AddPhotosView"; }, "the picker to close"));
    auto sent = screen<app::AddPhotosView>()->newPics();
    ASSERT_EQ(sent.size(), 2u);

    ASSERT_TRUE(clickItem("Upload"));
    ASSERT_TRUE(answer("After Folder"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            auto upload = screen<app::UploadView>();
            return upload && upload->finishedCount() == 2;
        },
        "both uploads"));
    EXPECT_EQ(screen<app::UploadView>()->failedCount(), 0);
    ASSERT_TRUE(clickView("btn"));
    ASSERT_TRUE(pumpUntil([&] { return front() == "MainView"; }, "the way back"));

    // The server holds the very JPEGs the app encoded from the two pictures.
    std::multiset<std::string> stored;
    for (const auto& entry :
         std::filesystem::directory_iterator(service.dataDir() / "photos" / "1001" / "after")) {
        std::ifstream in(entry.path(), std::ios::binary);
        stored.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::multiset<std::string> expected;
    for (const auto& picture : sent) {
        auto jpeg = ui::JPEGRepresentation(*picture, 1.0);
        ASSERT_TRUE(jpeg);
        expected.insert(std::string(jpeg->begin(), jpeg->end()));
    }
    EXPECT_EQ(stored, expected);
    EXPECT_GT(window->framesDrawn(), 10);
}

}  // namespace
