#include "app/PlatformServices.h"

#include <cerrno>

#include "net/operations/BackgroundTaskService.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace app {

net::UserAgentParts userAgentPartsFromDevice() {
    const ui::Device device = ui::Device::current();
    return net::UserAgentParts{program_invocation_short_name, PROOFSHOT_VERSION, device.model(),
                               device.systemVersion(), ui::Screen::main().scale()};
}

void connectHTTPLayerToPlatform() {
    // The application lives for the process, so holding it here costs nothing.
    std::shared_ptr<ui::Application> application = ui::Application::shared();
    net::BackgroundTaskService::shared().setBackend(
        {[application](net::BackgroundTaskService::ExpirationHandler handler) {
             return application->beginBackgroundTask(std::move(handler));
         },
         [application](net::BackgroundTaskIdentifier identifier) {
             application->endBackgroundTask(identifier);
         }});
    net::setUserAgentPartsProvider(userAgentPartsFromDevice);
}

}  // namespace app
