#include <gtest/gtest.h>

#include <SDL.h>
#include <string>

#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "shell/desktop/SdlWindow.h"
#include "tests/desktop/PumpPending.h"
#include "tests/desktop/SdlInput.h"
#include "tests/desktop/VirtualDisplay.h"

namespace {

using namespace desktop_testing;

bool pumpUntil(const std::function<bool()>& done) {
    return pumpMainLoopUntil(done, 10.0);
}

// The window's events wake the main loop through its waiter: clicks reach buttons, typing
// reaches the focused field, and an idle window stops drawing.
TEST(SdlWindowTest, EventsWakeTheMainLoopAndReachTheViewTree) {
    desktop_testing::VirtualDisplay display("800x1200x24");
    if (!display.isRunning()) {
        GTEST_SKIP() << "no virtual display: " << display.failure();
    }
    ui::Screen::configure(ui::Size{320, 480}, 2);
    auto opened = shell::SdlWindow::open("Proofshot test");
    ASSERT_TRUE(opened) << opened.error().localizedDescription();
    auto& sdl = **opened;
    sdl.attachToMainLoop();

    auto window = ui::Window::create(ui::Screen::main().bounds());
    auto field = ui::TextField::create(ui::Rect(20, 40, 280, 44));
    auto go = ui::Button::create(ui::Rect(20, 100, 280, 48));
    go->setTitle("Search");
    std::string searched;
    go->addAction([&](const auto&) { searched = field->text(); });
    window->addSubview(field);
    window->addSubview(go);
    window->makeKeyAndVisible();

    ASSERT_TRUE(pumpUntil([&] { return sdl.framesDrawn() > 0; }));
    // The window is 640 x 960 pixels unless the display made it smaller; points times scale.
    int w = 0, h = 0;
    SDL_GetWindowSize(SDL_GetWindowFromID(sdl.id()), &w, &h);
    double pixelsPerPoint = w / 320.0;
    EXPECT_NEAR(h / 480.0, pixelsPerPoint, 0.01);
    auto at = [&](double points) { return static_cast<int>(points * pixelsPerPoint); };

    pushClick(sdl.id(), at(100), at(60));
    pushText(sdl.id(), "1001");
    pushKey(sdl.id(), SDLK_BACKSPACE);
    pushText(sdl.id(), "2");
    pushClick(sdl.id(), at(100), at(120));
    ASSERT_TRUE(pumpUntil([&] { return !searched.empty(); }));
    EXPECT_EQ(searched, "1002");

    // Idle: the loop sleeps in its waiter and draws nothing more.
    ASSERT_TRUE(pumpUntil([&] { return !go->isHighlighted(); }));
    core::RunLoop::main()->runUntil(core::Clock::realNow() + core::Clock::Duration(0.1));
    int settled = sdl.framesDrawn();
    core::RunLoop::main()->runUntil(core::Clock::realNow() + core::Clock::Duration(0.3));
    EXPECT_EQ(sdl.framesDrawn(), settled);
    ui::Application::shared()->resetForTesting();
}

}  // namespace
