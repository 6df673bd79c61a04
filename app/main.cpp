#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/AppDelegate.h"
#include "app/Walkthrough.h"
#include "platform/ui/Application.h"
#include "platform/url/URL.h"

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
           "                       each screen; DIR holds its gallery and album\n";
}

bool isWebURL(const std::string& text) {
    auto parsed = url::URL::create(text);
    return parsed && (parsed->scheme() == "http" || parsed->scheme() == "https") &&
           !parsed->host().empty();
}

}  // namespace

int main(int argc, char** argv) {
    app::WalkthroughSettings settings;
    bool walkthrough = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            usage(std::cout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "proofshot: " << option << " needs a value (or is unknown)\n";
            usage(std::cerr);
            return 2;
        }
        std::string value = argv[++i];
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
        auto done = app::Walkthrough(settings, std::cout).run();
        if (!done) {
            std::cerr << "proofshot: walkthrough failed: " << done.error().localizedDescription()
                      << "\n";
            return 1;
        }
        return 0;
    }
    return ui::Application::main(std::make_shared<app::AppDelegate>(settings.endpoints));
}
