#pragma once

#include <memory>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Window.h"
#include "shell/desktop/Animator.h"

namespace shell {

// Where the window's points sit in its pixels: the screen's scale times the factor that fits
// the window to the display, plus the offset that centres it.
struct Viewport {
    double pixelsPerPoint = 1;
    ui::Point offset;  // pixels

    ui::Point toPoints(ui::Point pixel) const {
        return {(pixel.x - offset.x) / pixelsPerPoint, (pixel.y - offset.y) / pixelsPerPoint};
    }
};

enum class EditingKey { Backspace, Tab, BackTab, Return, Escape };

// Turns pointer and keyboard input into what the view model does for a touch or a key: hit
// testing through the tree, the prompt that is up, bars and grids. A press that lands while a
// transition runs is ignored, as a phone ignores touches during one: the screen under the
// finger is on its way out. Main thread.
class InputRouter {
public:
    InputRouter(std::shared_ptr<ui::Window> window, const Animator& animator)
        : window_(std::move(window)), animator_(animator) {}

    void setViewport(Viewport viewport) { viewport_ = viewport; }
    const Viewport& viewport() const { return viewport_; }

    // Pointer or touch, in window pixels. A tap is a press and a release.
    void press(ui::Point pixel);
    void release(ui::Point pixel);
    void tap(ui::Point pixel) {
        press(pixel);
        release(pixel);
    }
    // Scrolls the grid under the pointer by `points` (positive: content moves up).
    void scroll(ui::Point pixel, double points);

    // Typed text (UTF-8) into the first responder.
    void text(const std::string& utf8);
    void key(EditingKey key);

private:
    enum class Target { None, Control, BarItem, Cell, Prompt };
    bool isBlocked() const;
    void pressPrompt(ui::Point point);
    void releasePrompt(ui::Point point);
    void focusNextField(int step);

    std::shared_ptr<ui::Window> window_;
    const Animator& animator_;
    Viewport viewport_;
    Target pressed_ = Target::None;
    std::weak_ptr<ui::View> pressedView_;
    int pressedButton_ = -1;
};

}  // namespace shell
