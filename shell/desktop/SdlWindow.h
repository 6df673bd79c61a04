#pragma once

#include <memory>
#include <string>

#include "platform/core/Expected.h"
#include "platform/core/Timer.h"
#include "platform/ui/ApplicationDelegate.h"
#include "shell/desktop/CameraPreview.h"
#include "shell/desktop/InputRouter.h"
#include "shell/desktop/Renderer.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;

namespace shell {

// The app's key window shown in an SDL window as large as the screen in points times its
// scale (shrunk to fit the display), drawn when its picture changes and at 60 frames a second
// while something moves; mouse, touch and keyboard go through an InputRouter. Its events are
// waited on by the main run loop (SdlWaiter). Main thread.
class SdlWindow {
public:
    static core::Expected<std::unique_ptr<SdlWindow>> open(const std::string& title);
    ~SdlWindow();
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    // Makes the main run loop sleep on this window's events too; call before the loop runs.
    void attachToMainLoop();
    // Draws now if the picture changed since the last frame; schedules the next frame while
    // something moves. Returns whether it drew.
    bool drawIfChanged();
    // Handles every event SDL has queued.
    void dispatchEvents();
    int framesDrawn() const { return frames_; }
    // Whether the screen is still on its way somewhere: a transition runs, or the prompt that
    // is up has not been drawn all the way in. A person taps once it has come to rest.
    bool isInMotion() const;
    // The window's id, for events a test pushes.
    unsigned id() const;

private:
    SdlWindow() = default;
    void handle(const SDL_Event& event);
    InputRouter* router();
    void present(const ui::Window& window);
    void scheduleFrame();

    SDL_Window* window_ = nullptr;
    SDL_Renderer* sdlRenderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<Renderer> renderer_;
    CameraPreview cameraPreview_;
    std::unique_ptr<InputRouter> router_;
    std::weak_ptr<ui::Window> routed_;
    std::size_t lastPicture_ = 0;
    bool forceDraw_ = true;
    std::shared_ptr<core::Timer> frameTimer_;
    int frames_ = 0;
};

// Runs the app with `delegate` in an SDL window until it is closed; the process's exit status.
int runDesktop(std::shared_ptr<ui::ApplicationDelegate> delegate,
               const std::string& title = "Proofshot");

}  // namespace shell
