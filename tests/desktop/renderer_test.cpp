#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TestCamera.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/Renderer.h"
#include "shell/desktop/ScreenshotRecorder.h"
#include "shell/desktop/Theme.h"
#include "tests/desktop/PumpPending.h"

namespace {

using shell::Renderer;

// Pixels in `region` (points) that differ from the same pixels in `other`.
int differingPixels(const ui::Bitmap& a, const ui::Bitmap& b, ui::Rect region, double scale) {
    int count = 0;
    for (int y = static_cast<int>(region.minY() * scale); y < region.maxY() * scale; ++y) {
        for (int x = static_cast<int>(region.minX() * scale); x < region.maxX() * scale; ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                ++count;
            }
        }
    }
    return count;
}

bool near(ui::Bitmap::RGBA pixel, ui::Color color) {
    auto close = [](std::uint8_t channel, double value) {
        return std::abs(channel - value * 255) <= 3;
    };
    return close(pixel.r, color.red) && close(pixel.g, color.green) && close(pixel.b, color.blue);
}

ui::ImagePtr solid(int width, int height, ui::Bitmap::RGBA color) {
    auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGBA8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::copy_n(&color.r, 4, bitmap->row(y) + 4 * x);
        }
    }
    return ui::Image::create(bitmap);
}

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        ui::CameraDevice::setCurrent(camera);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        ui::CameraDevice::setCurrent(nullptr);
        ui::Application::shared()->resetForTesting();
    }

    core::VirtualClock clock;
    std::shared_ptr<ui::TestCamera> camera = ui::TestCamera::create();
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 480));
    Renderer renderer{2};
};

TEST_F(RendererTest, LabelTextAndHiddenGroupsShowWhereTheStateSays) {
    auto group = ui::View::create(ui::Rect(20, 200, 280, 90));
    auto detail = ui::Label::create(ui::Rect(0, 0, 280, 30));
    group->addSubview(detail);
    window->addSubview(group);
    group->setHidden(true);
    detail->setText("Order 1001: oak table");
    auto hidden = renderer.render(*window);
    ASSERT_EQ(hidden->width(), 640) << "points times the scale";
    ASSERT_EQ(hidden->height(), 960);

    group->setHidden(false);
    auto shown = renderer.render(*window);
    EXPECT_GT(differingPixels(*hidden, *shown, ui::Rect(20, 200, 280, 30), 2), 200)
        << "the text is drawn inside the label once its group shows";
    EXPECT_EQ(differingPixels(*hidden, *shown, ui::Rect(0, 0, 320, 190), 2), 0)
        << "and nowhere else";

    detail->setText("Order 1002: desk");
    auto changed = renderer.render(*window);
    EXPECT_GT(differingPixels(*shown, *changed, ui::Rect(20, 200, 280, 30), 2), 0);
}

TEST_F(RendererTest, AlertCardFadesInOverTheScreenAndGoesWithItsAnswer) {
    auto before = renderer.render(*window);
    auto alert = ui::AlertView::create("Error", "Wrong password", {}, "Ok");
    alert->show();
    renderer.render(*window);  // the frame on which it comes up
    clock.advance(1.0);
    auto up = renderer.render(*window);
    auto centre = up->pixel(320, 480);
    EXPECT_TRUE(near(centre, shell::Theme::surface())) << "the card sits in the middle";
    EXPECT_FALSE(near(up->pixel(10, 10), shell::Theme::background())) << "the rest is dimmed";
    EXPECT_GT(differingPixels(*before, *up, ui::Rect(40, 200, 240, 80), 2), 1000);

    alert->clickButtonAtIndex(0);
    auto gone = renderer.render(*window);
    EXPECT_EQ(differingPixels(*before, *gone, window->bounds(), 2), 0);
}

TEST_F(RendererTest, ImageViewsFitTheirPictureAsTheContentModeSays) {
    auto view = ui::ImageView::create(ui::Rect(0, 0, 100, 100));
    view->setImage(solid(200, 100, {220, 20, 20, 255}));
    view->setContentMode(ui::ContentMode::ScaleAspectFit);
    window->addSubview(view);
    auto fit = renderer.render(*window);
    EXPECT_TRUE(near(fit->pixel(100, 10), shell::Theme::background())) << "band above the picture";
    EXPECT_EQ(fit->pixel(100, 100).r, 220);

    view->setContentMode(ui::ContentMode::ScaleAspectFill);
    auto fill = renderer.render(*window);
    EXPECT_EQ(fill->pixel(100, 10).r, 220);
    EXPECT_TRUE(near(fill->pixel(210, 100), shell::Theme::background())) << "clipped to bounds";
}

TEST_F(RendererTest, SecureFieldsShowDotsAndTheCaretOnlyWhileEditing) {
    auto field = ui::TextField::create(ui::Rect(20, 20, 280, 40));
    window->addSubview(field);
    field->setPlaceholder("Password");
    auto placeholder = renderer.render(*window);
    field->setSecureTextEntry(true);
    field->setText("secret");
    auto dots = renderer.render(*window);
    field->setSecureTextEntry(false);
    auto plain = renderer.render(*window);
    EXPECT_GT(differingPixels(*dots, *plain, field->frame(), 2), 50) << "dots, not letters";
    EXPECT_GT(differingPixels(*placeholder, *dots, field->frame(), 2), 50);

    field->becomeFirstResponder();
    auto editing = renderer.render(*window);
    EXPECT_GT(differingPixels(*plain, *editing, field->frame(), 2), 0) << "caret and focus ring";
}

TEST_F(RendererTest, APushSlidesTheNewScreenInOnTheClock) {
    auto from = ui::View::create(window->bounds());
    from->setBackgroundColor({0, 0, 1, 1});
    auto to = ui::View::create(window->bounds());
    to->setBackgroundColor({0, 1, 0, 1});
    window->addSubview(to);
    auto transition = ui::ViewTransition::start(ui::TransitionKind::Push, from, to, 0.35, nullptr);
    auto start = renderer.render(*window);
    EXPECT_EQ(start->pixel(600, 480).b, 255) << "at the start the old screen still shows";
    clock.advance(0.175);
    auto half = renderer.render(*window);
    EXPECT_EQ(half->pixel(20, 480).b, 255) << "the old one on the left";
    EXPECT_EQ(half->pixel(620, 480).g, 255) << "the new one coming in on the right";
    desktop_testing::advanceAndPump(clock, 0.2);
    EXPECT_TRUE(transition->isFinished());
    auto end = renderer.render(*window);
    EXPECT_EQ(end->pixel(20, 480).g, 255);
}

TEST_F(RendererTest, WritesAPNGAndReportsAPathItCannotWrite) {
    auto label = ui::Label::create(ui::Rect(10, 10, 200, 30));
    label->setText("Proofshot");
    window->addSubview(label);
    auto path = std::filesystem::temp_directory_path() / "proofshot-renderer-test.png";
    ASSERT_TRUE(shell::renderToPNG(*window, path));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
    std::filesystem::remove(path);
    auto failed = shell::renderToPNG(*window, "/nonexistent-directory/x.png");
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().localizedDescription().find("/nonexistent-directory"),
              std::string::npos);
}

TEST_F(RendererTest, CameraScreenShowsTheOverlayToolbarAboveThePicture) {
    auto picker = ui::ImagePickerController::create();
    picker->setSourceType(ui::ImagePickerSourceType::Camera);
    picker->setShowsCameraControls(false);
    auto bar = ui::Toolbar::create(ui::Rect(0, 436, 320, 44));
    bar->setBarStyle(ui::BarStyle::Black);
    bar->setItems({ui::BarButtonItem::create("Take", ui::BarButtonItemStyle::Bordered)});
    picker->cameraOverlayView()->addSubview(bar);
    window->setRootViewController(picker);
    auto preview =
        std::dynamic_pointer_cast<ui::ImageView>(window->viewWithIdentifier("cameraPreview"));
    ASSERT_TRUE(preview);
    EXPECT_LT(renderer.render(*window)->pixel(320, 300).r, 60) << "no picture yet: a dark camera";

    // A still stands in for the missing feed, but a live picture always wins over it.
    renderer.setCameraStill(solid(64, 48, {220, 30, 30, 255}));
    EXPECT_EQ(renderer.render(*window)->pixel(320, 300).r, 220);
    preview->setImage(solid(64, 48, {20, 200, 20, 255}));
    auto drawn = renderer.render(*window);
    EXPECT_EQ(drawn->pixel(320, 300).g, 200) << "the camera picture fills the screen";
    auto barPixel = drawn->pixel(4, 940);
    EXPECT_LT(barPixel.g, 100) << "the overlay's dark toolbar is drawn over the picture";
}

TEST_F(RendererTest, ScreenshotsOfTheCameraScreenShowOnePictureFromTheCamera) {
    auto picker = ui::ImagePickerController::create();
    picker->setSourceType(ui::ImagePickerSourceType::Camera);
    window->setRootViewController(picker);
    camera->enqueue(solid(64, 48, {30, 30, 220, 255}));
    auto folder = std::filesystem::temp_directory_path() /
                  ("proofshot-camera-shots-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    shell::ScreenshotRecorder recorder(folder);
    auto first = recorder.record("camera");
    auto second = recorder.record("camera again");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(camera->captureCount(), 1) << "one still serves every picture";
    std::ifstream in(*second, std::ios::binary);
    std::string png(std::istreambuf_iterator<char>(in), {});
    auto image = ui::Image::create(core::Bytes(png.begin(), png.end()));
    ASSERT_TRUE(image);
    auto pixels = (*image)->bitmap();
    ASSERT_TRUE(pixels);
    EXPECT_EQ((*pixels)->pixel((*pixels)->width() / 2, (*pixels)->height() / 2).b, 220);
    std::filesystem::remove_all(folder);
}

TEST_F(RendererTest, FramesAreDueOnlyWhileSomethingMoves) {
    auto& animator = renderer.animator();
    auto spinner = ui::ActivityIndicatorView::create(ui::Rect(10, 10, 20, 20));
    auto slides = ui::ImageView::create(ui::Rect(0, 100, 320, 200));
    window->addSubview(spinner);
    window->addSubview(slides);
    EXPECT_FALSE(animator.nextFrameDelay(*window)) << "an idle screen asks for no frame";

    slides->setAnimationImages({solid(4, 4, {255, 0, 0, 255}), solid(4, 4, {0, 0, 255, 255})});
    slides->setAnimationDuration(5.0);
    slides->startAnimating();
    auto slow = animator.nextFrameDelay(*window);
    ASSERT_TRUE(slow);
    EXPECT_GT(*slow, shell::Animator::kFrameInterval) << "a slide show needs no 60 frames a second";
    auto first = renderer.render(*window);
    clock.advance(2.6);
    auto second = renderer.render(*window);
    EXPECT_NE(first->pixel(320, 400).r, second->pixel(320, 400).r) << "the next slide shows";

    spinner->startAnimating();
    EXPECT_EQ(animator.nextFrameDelay(*window), shell::Animator::kFrameInterval);
    spinner->stopAnimating();
    slides->stopAnimating();
    EXPECT_FALSE(animator.nextFrameDelay(*window));
}

}  // namespace
