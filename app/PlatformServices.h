#pragma once

#include "net/client/DefaultHeaders.h"

namespace app {

// What the app tells servers about itself: its executable name and version, and the model,
// system version and screen scale the UI layer reports.
net::UserAgentParts userAgentPartsFromDevice();

// Joins the HTTP layer to the UI layer's services, which it cannot link itself: its
// background tasks are mirrored in the application's, so one expiry ends both, and its
// User-Agent describes the device and screen as the UI layer sees them. Safe to repeat.
void connectHTTPLayerToPlatform();

}  // namespace app
