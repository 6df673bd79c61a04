#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/FirstFrame.h"
#include "app/Walkthrough.h"
#include "platform/ui/Application.h"
#include "platform/url/URL.h"
#include "shell/desktop/DesktopOptions.h"
#include "shell/desktop/ScreenshotRecorder.h"
#include "shell/desktop/SdlWindow.h"
#include "shell/desktop/StepScreenshots.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: proofshot [--order-service URL] [--stock-store URL]\n"
           "                 [--walkthrough WORKDIR [--user NAME --password P --order N]]\n"
           "  --order-service URL  the order service (default "
        << app::ServiceEndpoints::kDefaultOrderService
        << ")\n"
           "  --stock-store URL    the stock-image store (default "
        << app::ServiceEndpoints::kDefaultStockStore
        << ")\n"
           "  --walkthrough DIR    run the scripted session on the headless driver, printing\n"
           "                       each screen; DIR holds its gallery and album\n"
           "  --screenshots DIR    with --walkthrough: a PNG of each step in DIR\n"
           "  --first-frame        draw the first screen once, headless, say so and exit\n"
           "  --simulated-camera [DIR]  pictures from DIR, or generated frames\n"
           "  --gallery DIR        the photo library is the pictures in DIR\n"
           "  With a display the app opens in a window; without one it runs headless.\n";
}

bool isWebURL(const std::string& text) {
    auto parsed = url::URL::create(text);
    return parsed && (parsed->scheme() == "http" || parsed->scheme() == "https") &&
           !parsed->host().empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto desktop = shell::DesktopOptions::take(arguments);
    auto applied = desktop ? desktop->apply() : core::Expected<void>(desktop.error());
    if (!applied) {
        std::cerr << "proofshot: " << applied.error().localizedDescription() << "\n";
        return 2;
    }
    app::WalkthroughSettings settings;
    bool walkthrough = false;
    bool firstFrame = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        if (option == "-h" || option == "--help") {
            usage(std::cout);
            return 0;
        }
        if (option == "--first-frame") {
            firstFrame = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            std::cerr << "proofshot: " << option << " needs a value (or is unknown)\n";
            usage(std::cerr);
            return 2;
        }
        std::string value = arguments[++i];
        if (option == "--order-service" || option == "--stock-store") {
            if (!isWebURL(value)) {
                std::cerr << "proofshot: " << option << " expects an http(s) URL, not '" << value
                          << "'\n";
                return 2;
            }
            (option == "--order-service" ? settings.endpoints.orderService
                                         : settings.endpoints.stockStore) = value;
        } else if (option == "--walkthrough") {
            walkthrough = true;
            settings.workDirectory = value;
        } else if (option == "--user") {
            settings.username = value;
        } else if (option == "--password") {
            settings.password = value;
        } else if (option == "--order") {
            settings.order = value;
        } else {
            std::cerr << "proofshot: unknown option '" << option << "'\n";
            usage(std::cerr);
            return 2;
        }
    }
    if (walkthrough) {
        shell::ScreenshotRecorder recorder(desktop->screenshots.value_or("."));
        shell::StepScreenshots steps(std::cout, recorder);
        std::ostream& out = desktop->screenshots ? static_cast<std::ostream&>(steps) : std::cout;
        auto done = app::Walkthrough(settings, out).run();
        if (!done) {
            std::cerr << "proofshot: walkthrough failed: " << done.error().localizedDescription()
                      << "\n";
            return 1;
        }
        if (desktop->screenshots) {
            std::cout << "Screenshots (" << recorder.count()
                      << "): " << desktop->screenshots->string() << "\n";
            std::cerr << steps.errors();
            return steps.errors().empty() ? 0 : 1;
        }
        return 0;
    }
    auto delegate = std::make_shared<app::AppDelegate>(settings.endpoints);
    if (firstFrame) {
        return app::drawFirstFrame(delegate, std::cout);
    }
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) {
        return shell::runDesktop(delegate);
    }
    return ui::Application::main(delegate);
}
