#include "shell/desktop/SdlWindow.h"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/SdlWaiter.h"

// Last: the X11 headers define macros (None, Bool) that clash with names above.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace shell {

namespace {

core::Error sdlError(const std::string& what) {
    core::Error error("ShellErrorDomain", 2);
    error.set(core::LocalizedDescriptionKey, what + ": " + SDL_GetError());
    return error;
}

int displayConnection(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
        return ConnectionNumber(info.info.x11.display);
    }
    return -1;
}

}  // namespace

core::Expected<std::unique_ptr<SdlWindow>> SdlWindow::open(const std::string& title) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return sdlError("cannot open a window (is there a display?)");
    }
    ui::Screen screen = ui::Screen::main();
    double width = screen.bounds().width() * screen.scale();
    double height = screen.bounds().height() * screen.scale();
    double fit = 1.0;
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
        fit = std::min({1.0, usable.w / width, (usable.h - 40) / height});
    }
    std::unique_ptr<SdlWindow> made(new SdlWindow());
    made->width_ = static_cast<int>(std::lround(width * fit));
    made->height_ = static_cast<int>(std::lround(height * fit));
    made->window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     made->width_, made->height_, SDL_WINDOW_SHOWN);
    if (!made->window_) {
        return sdlError("cannot create the window");
    }
    made->sdlRenderer_ = SDL_CreateRenderer(made->window_, -1, 0);
    if (!made->sdlRenderer_) {
        return sdlError("cannot draw into the window");
    }
    made->texture_ = SDL_CreateTexture(made->sdlRenderer_, SDL_PIXELFORMAT_ARGB8888,
                                       SDL_TEXTUREACCESS_STREAMING, made->width_, made->height_);
    if (!made->texture_) {
        return sdlError("cannot make the window's picture");
    }
    SDL_SetTextureBlendMode(made->texture_, SDL_BLENDMODE_NONE);
    made->renderer_ = std::make_unique<Renderer>(screen.scale() * fit);
    SDL_StartTextInput();
    return made;
}

SdlWindow::~SdlWindow() {
    if (frameTimer_) {
        frameTimer_->invalidate();
    }
    if (texture_) {
        SDL_DestroyTexture(texture_);
    }
    if (sdlRenderer_) {
        SDL_DestroyRenderer(sdlRenderer_);
    }
    if (window_) {
        SDL_DestroyWindow(window_);
    }
    SDL_Quit();
}

unsigned SdlWindow::id() const {
    return SDL_GetWindowID(window_);
}

void SdlWindow::attachToMainLoop() {
    auto loop = core::RunLoop::main();
    int fd = displayConnection(window_);
    loop->setWaiter(std::make_unique<SdlWaiter>(fd, [this] { drawIfChanged(); }));
    if (fd >= 0) {
        loop->watchFileDescriptor(fd, core::FdEvents::Readable,
                                  [this](int, core::FdEvents) { dispatchEvents(); });
    }
}

InputRouter* SdlWindow::router() {
    auto key = ui::Application::shared()->keyWindow();
    if (!key) {
        return nullptr;
    }
    if (!router_ || routed_.lock() != key) {
        router_ = std::make_unique<InputRouter>(key, renderer_->animator());
        router_->setViewport({renderer_->scale(), {}});
        routed_ = key;
    }
    return router_.get();
}

bool SdlWindow::drawIfChanged() {
    auto key = ui::Application::shared()->keyWindow();
    if (!key) {
        return false;
    }
    cameraPreview_.update(*key);
    std::size_t picture = Animator::pictureOf(*key);
    bool moving = renderer_->animator().nextFrameDelay(*key).has_value() ||
                  ui::ViewTransition::isAnyRunning();
    bool due = moving && !frameTimer_;
    if (!forceDraw_ && picture == lastPicture_ && !due) {
        return false;
    }
    forceDraw_ = false;
    lastPicture_ = picture;
    present(*key);
    scheduleFrame();
    return true;
}

bool SdlWindow::isInMotion() const {
    if (ui::ViewTransition::isAnyRunning()) {
        return true;
    }
    auto prompt = ui::Prompt::visiblePrompt();
    return prompt && !renderer_->animator().hasFullyShown(*prompt);
}

void SdlWindow::scheduleFrame() {
    auto key = ui::Application::shared()->keyWindow();
    auto delay = key ? renderer_->animator().nextFrameDelay(*key) : std::nullopt;
    if (!delay || frameTimer_) {
        return;
    }
    frameTimer_ = core::Timer::scheduled(*delay, core::Timer::Repeats::No, [this](core::Timer&) {
        frameTimer_.reset();
        forceDraw_ = true;
    });
}

void SdlWindow::present(const ui::Window& window) {
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) != 0) {
        return;
    }
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width_, height_, pitch);
    cairo_t* cr = cairo_create(surface);
    renderer_->draw(cr, window);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    SDL_UnlockTexture(texture_);
    SDL_RenderCopy(sdlRenderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(sdlRenderer_);
    ++frames_;
}

void SdlWindow::dispatchEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        handle(event);
    }
}

void SdlWindow::handle(const SDL_Event& event) {
    InputRouter* input = router();
    auto at = [](double x, double y) { return ui::Point{x, y}; };
    switch (event.type) {
        case SDL_QUIT:
            ui::Application::shared()->terminate();
            return;
        case SDL_WINDOWEVENT:
            forceDraw_ = true;
            return;
        default:
            break;
    }
    if (!input) {
        return;
    }
    switch (event.type) {
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            // Touches come as finger events; SDL's mouse copies of them are dropped.
            if (event.button.which == SDL_TOUCH_MOUSEID || event.button.button != SDL_BUTTON_LEFT) {
                return;
            }
            if (event.type == SDL_MOUSEBUTTONDOWN) {
                input->press(at(event.button.x, event.button.y));
            } else {
                input->release(at(event.button.x, event.button.y));
            }
            return;
        case SDL_FINGERDOWN:
            input->press(at(event.tfinger.x * width_, event.tfinger.y * height_));
            return;
        case SDL_FINGERUP:
            input->release(at(event.tfinger.x * width_, event.tfinger.y * height_));
            return;
        case SDL_MOUSEWHEEL: {
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            input->scroll(at(x, y), -40.0 * event.wheel.y);
            return;
        }
        case SDL_TEXTINPUT:
            input->text(event.text.text);
            return;
        case SDL_KEYDOWN:
            switch (event.key.keysym.sym) {
                case SDLK_BACKSPACE:
                    input->key(EditingKey::Backspace);
                    break;
                case SDLK_TAB:
                    input->key((event.key.keysym.mod & KMOD_SHIFT) ? EditingKey::BackTab
                                                                   : EditingKey::Tab);
                    break;
                case SDLK_RETURN:
                case SDLK_KP_ENTER:
                    input->key(EditingKey::Return);
                    break;
                case SDLK_ESCAPE:
                    input->key(EditingKey::Escape);
                    break;
                default:
                    break;
            }
            return;
        default:
            return;
    }
}

int runDesktop(std::shared_ptr<ui::ApplicationDelegate> delegate, const std::string& title) {
    auto window = SdlWindow::open(title);
    if (!window) {
        SDL_Log("%s", window.error().localizedDescription().c_str());
        return 1;
    }
    (*window)->attachToMainLoop();
    return ui::Application::main(std::move(delegate));
}

}  // namespace shell
