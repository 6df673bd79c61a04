#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/ui/Application.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/Label.h"
#include "shell/desktop/DesktopOptions.h"
#include "shell/desktop/ScreenshotRecorder.h"
#include "shell/desktop/StepScreenshots.h"

namespace {

namespace fs = std::filesystem;

TEST(DesktopOptionsTest, TakesItsOwnOptionsAndLeavesTheOthersInOrder) {
    std::vector<std::string> arguments{"--order-service",
                                       "http://127.0.0.1:8080",
                                       "--simulated-camera",
                                       "--gallery",
                                       "/tmp",
                                       "--walkthrough",
                                       "work",
                                       "--screenshots",
                                       "shots",
                                       "--window"};
    auto options = shell::DesktopOptions::take(arguments);
    ASSERT_TRUE(options) << options.error().localizedDescription();
    EXPECT_TRUE(options->simulatedCamera);
    EXPECT_FALSE(options->cameraFolder) << "the next argument is an option, not its folder";
    EXPECT_EQ(options->gallery, fs::path("/tmp"));
    EXPECT_EQ(options->screenshots, fs::path("shots"));
    EXPECT_TRUE(options->window);
    EXPECT_EQ(arguments, (std::vector<std::string>{"--order-service", "http://127.0.0.1:8080",
                                                   "--walkthrough", "work"}));

    std::vector<std::string> withFolder{"--simulated-camera", "pictures"};
    EXPECT_EQ(shell::DesktopOptions::take(withFolder)->cameraFolder, fs::path("pictures"));
}

TEST(DesktopOptionsTest, MissingOrUnusableFoldersAreErrorsNamingTheOption) {
    std::vector<std::string> missing{"--gallery", "--window"};
    auto taken = shell::DesktopOptions::take(missing);
    ASSERT_FALSE(taken);
    EXPECT_NE(taken.error().localizedDescription().find("--gallery"), std::string::npos);

    shell::DesktopOptions options;
    options.simulatedCamera = true;
    options.cameraFolder = "/nonexistent-pictures";
    auto applied = options.apply();
    ASSERT_FALSE(applied);
    EXPECT_NE(applied.error().localizedDescription().find("--simulated-camera"), std::string::npos);
}

TEST(DesktopOptionsTest, ASimulatedCameraBecomesTheCurrentDevice) {
    shell::DesktopOptions options;
    options.simulatedCamera = true;
    ASSERT_TRUE(options.apply());
    ASSERT_TRUE(ui::CameraDevice::isCameraAvailable());
    EXPECT_TRUE(ui::CameraDevice::current()->capture());
    ui::CameraDevice::setCurrent(nullptr);
}

class ScreenshotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        fs::create_directories(folder);
    }
    void TearDown() override {
        fs::remove_all(folder);
        ui::Application::shared()->resetForTesting();
    }

    fs::path folder = fs::temp_directory_path() / ("proofshot-shots-" + std::to_string(getpid()));
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 480));
    shell::ScreenshotRecorder recorder{folder};
};

TEST_F(ScreenshotsTest, TheRecorderWritesNumberedPicturesOfTheKeyWindow) {
    EXPECT_FALSE(recorder.record("before any window"));
    auto label = ui::Label::create(ui::Rect(10, 10, 300, 30));
    label->setText("Order 1001");
    window->addSubview(label);
    window->makeKeyAndVisible();
    auto first = recorder.record("Sign in (demo)");
    auto second = recorder.record("  ");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->filename(), "01-sign-in-demo.png");
    EXPECT_EQ(second->filename(), "02-step.png");
    EXPECT_GT(fs::file_size(*first), 1000u);
}

TEST_F(ScreenshotsTest, StepsTakeAPictureForEachHeadingAndPassTheTextOnUnchanged) {
    window->makeKeyAndVisible();
    std::ostringstream out;
    shell::StepScreenshots steps(out, recorder);
    steps << "== Signed in ==\ncontrollers: A\n== not a heading\n==  ==\n== Order 1001 ==\n";
    steps.flush();
    EXPECT_EQ(out.str(),
              "== Signed in ==\ncontrollers: A\n== not a heading\n==  ==\n"
              "== Order 1001 ==\n");
    EXPECT_EQ(recorder.count(), 2);
    EXPECT_TRUE(fs::exists(folder / "01-signed-in.png"));
    EXPECT_TRUE(fs::exists(folder / "02-order-1001.png"));
    EXPECT_TRUE(steps.errors().empty());
}

}  // namespace
