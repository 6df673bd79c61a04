#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "app/ServiceEndpoints.h"
#include "platform/core/Expected.h"

namespace app {

// A scripted session on the headless driver, printing each screen as it goes: sign in, look an
// order up, take pictures with the simulated camera (one now, one timed, a continuous series),
// pick one from the gallery, remove one, upload them to the after folder and finish. Uses a
// virtual clock, so the timed captures take no real time. The app must not be running yet.
struct WalkthroughSettings {
    ServiceEndpoints endpoints;
    std::string username = "demo";
    std::string password = "demo1234";
    std::string order = "1001";
    // Holds the gallery, the album and nothing else; created if missing.
    std::filesystem::path workDirectory;
};

class Walkthrough {
public:
    explicit Walkthrough(WalkthroughSettings settings, std::ostream& out)
        : settings_(std::move(settings)), out_(out) {}

    core::Expected<void> run();

private:
    core::Expected<void> prepareDevices();

    WalkthroughSettings settings_;
    std::ostream& out_;
};

}  // namespace app
