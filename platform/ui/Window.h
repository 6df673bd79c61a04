#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace ui {

class ViewController;

// The view at the root of a screen's tree. Its root view controller's view fills it; modally
// presented controllers' views are laid over that. The key window receives typing.
class Window : public View {
public:
    static std::shared_ptr<Window> create(Rect frame = {});

    std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
    // Installs the controller's view (loading it) as the window's bottom child, filling it.
    void setRootViewController(std::shared_ptr<ViewController> controller);
    // Makes this the application's key window and shows it; the root controller appears.
    void makeKeyAndVisible();
    bool isKeyWindow() const;

    // The view that receives typing; the keyboard is up while there is one. A field that has
    // left the window no longer counts.
    std::shared_ptr<View> firstResponder() const;
    bool isKeyboardVisible() const { return firstResponder() != nullptr; }
    // Ends editing in whatever field has the keyboard.
    void endEditing();

    // The controller whose screen is in front: the root or what it presents, followed down
    // the top of navigation stacks.
    std::shared_ptr<ViewController> visibleViewController() const;

    // The view under a point of the screen given in pixels at `scale` pixels per point (the
    // main screen's by default), as a click or touch reports it: pixels to points, then into
    // the window and down through every transform.
    std::shared_ptr<View> hitTestScreenPixel(Point pixel, double scale = 0);

    std::string stateDescription() const override;

private:
    friend class TextField;
    explicit Window(Rect frame);
    void setFirstResponder(const std::shared_ptr<View>& view) { firstResponder_ = view; }

    std::shared_ptr<ViewController> rootViewController_;
    std::weak_ptr<View> firstResponder_;
    bool rootAppeared_ = false;
};

using WindowPtr = std::shared_ptr<Window>;

}  // namespace ui
