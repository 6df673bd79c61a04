#include <benchmark/benchmark.h>
#include <cairo.h>

#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/core/VirtualClock.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/Renderer.h"

namespace {

// A screen like the sign-in screen: a picture, two fields, a button, a caption.
ui::ViewPtr signInScreen(ui::Rect bounds) {
    auto screen = ui::View::create(bounds);
    auto bitmap = std::make_shared<ui::Bitmap>(640, 480, ui::PixelFormat::RGB8);
    for (std::size_t i = 0; i < bitmap->pixels().size(); ++i) {
        bitmap->pixels()[i] = static_cast<std::uint8_t>(i * 7);
    }
    auto picture = ui::ImageView::create(ui::Image::create(bitmap));
    picture->setFrame(ui::Rect(0, 0, bounds.width(), 220));
    picture->setContentMode(ui::ContentMode::ScaleAspectFill);
    screen->addSubview(picture);
    for (int i = 0; i < 2; ++i) {
        auto field = ui::TextField::create(ui::Rect(20, 240 + 56.0 * i, bounds.width() - 40, 44));
        field->setPlaceholder(i ? "Password" : "User name");
        screen->addSubview(field);
    }
    auto button = ui::Button::create(ui::Rect(20, 360, bounds.width() - 40, 48));
    button->setTitle("Sign in");
    screen->addSubview(button);
    auto caption = ui::Label::create(ui::Rect(20, 420, bounds.width() - 40, 40));
    caption->setText("Photos of the work done, straight to the order.");
    caption->setNumberOfLines(2);
    screen->addSubview(caption);
    return screen;
}

struct Scene {
    Scene() {
        ui::Application::shared()->resetForTesting();
        window->makeKeyAndVisible();
        window->addSubview(to);
    }
    ~Scene() { ui::Application::shared()->resetForTesting(); }

    core::VirtualClock clock;
    ui::WindowPtr window = ui::Window::create(ui::Rect(0, 0, 320, 568));
    ui::ViewPtr from = signInScreen(window->bounds());
    ui::ViewPtr to = signInScreen(window->bounds());
};

// A frame as the window draws it: straight into its RGB pixels, reused from frame to frame.
void AnimatingFrame(benchmark::State& state) {
    Scene scene;
    shell::Renderer renderer(2);
    ui::ViewTransition::start(ui::TransitionKind::Push, scene.from, scene.to, 1e9, nullptr);
    cairo_surface_t* pixels = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 1136);
    for (auto _ : state) {
        scene.clock.advance(1.0 / 60);
        cairo_t* cr = cairo_create(pixels);
        renderer.draw(cr, *scene.window);
        cairo_destroy(cr);
        cairo_surface_flush(pixels);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(pixels));
    }
    cairo_surface_destroy(pixels);
}
BENCHMARK(AnimatingFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void IdleCheck(benchmark::State& state) {
    Scene scene;
    shell::Renderer renderer(2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(shell::Animator::pictureOf(*scene.window));
        benchmark::DoNotOptimize(renderer.animator().nextFrameDelay(*scene.window));
    }
}
BENCHMARK(IdleCheck)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The window's drawing policy over one second of an idle screen: draw when the picture
// changes, and schedule the next frame only while something moves.
void IdleSecond(benchmark::State& state) {
    ui::Application::shared()->resetForTesting();
    auto window = ui::Window::create(ui::Rect(0, 0, 320, 568));
    window->makeKeyAndVisible();
    window->addSubview(signInScreen(window->bounds()));
    shell::Renderer renderer(2);
    double frames = 0;
    for (auto _ : state) {
        std::size_t last = shell::Animator::pictureOf(*window);
        auto loop = core::RunLoop::current();
        auto deadline = core::Clock::realNow() + core::Clock::Duration(1.0);
        // Something that wakes the loop now and then, as a network callback would.
        auto poke = core::Timer::scheduled(0.1, core::Timer::Repeats::Yes, [](core::Timer&) {});
        while (core::Clock::realNow() < deadline) {
            loop->runInMode(core::RunLoop::kDefaultMode, deadline);
            std::size_t picture = shell::Animator::pictureOf(*window);
            if (picture != last || renderer.animator().nextFrameDelay(*window)) {
                renderer.render(*window);
                ++frames;
                last = picture;
            }
        }
        poke->invalidate();
    }
    state.counters["frames"] = frames / static_cast<double>(state.iterations());
    ui::Application::shared()->resetForTesting();
}
BENCHMARK(IdleSecond)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
