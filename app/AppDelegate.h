#pragma once

#include <memory>

#include "app/ServiceEndpoints.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/Window.h"
#include "screens/login/ViewController.h"

namespace app {

// Builds the one window and the navigation stack whose root is the login screen. The app
// keeps nothing on disk, so the moves between foreground and background change nothing.
class AppDelegate : public ui::ApplicationDelegate {
public:
    explicit AppDelegate(ServiceEndpoints endpoints = {}) : endpoints_(std::move(endpoints)) {}

    bool didFinishLaunchingWithOptions(ui::Application& application,
                                       const LaunchOptions& options) override;

    const std::shared_ptr<ui::Window>& window() const { return window_; }
    const std::shared_ptr<ViewController>& viewController() const { return viewController_; }
    const ServiceEndpoints& endpoints() const { return endpoints_; }

private:
    ServiceEndpoints endpoints_;
    std::shared_ptr<ui::Window> window_;
    std::shared_ptr<ViewController> viewController_;
};

}  // namespace app
