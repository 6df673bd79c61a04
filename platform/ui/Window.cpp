#include "platform/ui/Window.h"

#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace ui {

Window::Window(Rect frame) : View(frame) {
    setHidden(true);
}

std::shared_ptr<Window> Window::create(Rect frame) {
    return std::shared_ptr<Window>(new Window(frame));
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    assertMainThread();
    if (controller == rootViewController_) {
        return;
    }
    if (rootViewController_) {
        if (rootAppeared_) {
            rootViewController_->beginAppearanceTransition(Appearing::No, Animated::No);
        }
        rootViewController_->view()->removeFromSuperview();
        if (rootAppeared_) {
            rootViewController_->endAppearanceTransition();
        }
    }
    rootViewController_ = std::move(controller);
    rootAppeared_ = false;
    if (!rootViewController_) {
        return;
    }
    auto view = rootViewController_->view();
    view->setFrame(bounds());
    view->setAutoresizingMask(AutoresizingMask::FlexibleWidth | AutoresizingMask::FlexibleHeight);
    insertSubview(view, 0);
    if (!isHidden()) {
        rootViewController_->beginAppearanceTransition(Appearing::Yes, Animated::No);
        rootViewController_->endAppearanceTransition();
        rootAppeared_ = true;
    }
}

void Window::makeKeyAndVisible() {
    assertMainThread();
    setHidden(false);
    Application::shared()->setKeyWindow(std::static_pointer_cast<Window>(shared_from_this()));
    if (rootViewController_ && !rootAppeared_) {
        rootViewController_->beginAppearanceTransition(Appearing::Yes, Animated::No);
        rootViewController_->endAppearanceTransition();
        rootAppeared_ = true;
    }
}

bool Window::isKeyWindow() const {
    return Application::shared()->keyWindow().get() == this;
}

std::shared_ptr<View> Window::firstResponder() const {
    auto responder = firstResponder_.lock();
    return responder && responder->window().get() == this ? responder : nullptr;
}

void Window::endEditing() {
    if (auto field = std::dynamic_pointer_cast<TextField>(firstResponder())) {
        field->resignFirstResponder();
    }
    firstResponder_.reset();
}

std::shared_ptr<ViewController> Window::visibleViewController() const {
    auto controller = rootViewController_;
    while (controller) {
        if (auto presented = controller->presentedViewController()) {
            controller = presented;
            continue;
        }
        auto inner = controller->childViewControllerForDisplay();
        if (!inner || inner == controller) {
            break;
        }
        controller = inner;
    }
    return controller;
}

std::string Window::stateDescription() const {
    return isKeyWindow() ? "key" : "";
}

std::shared_ptr<View> Window::hitTestScreenPixel(Point pixel, double scale) {
    if (!(scale > 0) || !std::isfinite(scale)) {
        scale = Screen::main().scale();
    }
    const Rect placed = frame();
    return hitTest(Point{pixel.x / scale - placed.origin.x, pixel.y / scale - placed.origin.y});
}

}  // namespace ui
