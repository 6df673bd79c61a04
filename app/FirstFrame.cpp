#include "app/FirstFrame.h"

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "shell/desktop/Renderer.h"

namespace app {
namespace {

std::string frontScreen(const ui::Window& window) {
    auto navigation =
        std::dynamic_pointer_cast<ui::NavigationController>(window.rootViewController());
    auto front = navigation ? navigation->topViewController() : window.rootViewController();
    return front ? front->className() : "none";
}

}  // namespace

int drawFirstFrame(const std::shared_ptr<ui::ApplicationDelegate>& delegate, std::ostream& out) {
    auto application = ui::Application::shared();
    if (!application->launch(delegate)) {
        return 1;
    }
    auto window = application->keyWindow();
    if (!window) {
        return 1;
    }
    shell::Renderer renderer(ui::Screen::main().scale());
    auto pixels = renderer.render(*window);
    if (!pixels) {
        return 1;
    }
    // Flushed at once: whoever measures the start-up reads this line as the moment of drawing.
    out << "First frame: " << frontScreen(*window) << " " << pixels->width() << "x"
        << pixels->height() << std::endl;
    application->terminate();
    return 0;
}

}  // namespace app
