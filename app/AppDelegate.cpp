#include "app/AppDelegate.h"

#include "app/PlatformServices.h"

#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "screens/photo_collection/PhotoCell.h"

namespace app {

bool AppDelegate::didFinishLaunchingWithOptions(ui::Application&, const LaunchOptions&) {
    connectHTTPLayerToPlatform();
    PhotoCell::registerClass();
    window_ = ui::Window::create(ui::Screen::main().bounds());
    viewController_ = ViewController::create(endpoints_);
    auto navigation = ui::NavigationController::create(viewController_);
    navigation->navigationBar()->setTintColor(ui::Color::black());
    window_->setRootViewController(navigation);
    window_->makeKeyAndVisible();
    return true;
}

}  // namespace app
