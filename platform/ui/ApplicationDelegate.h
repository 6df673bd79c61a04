#pragma once

#include "platform/core/Value.h"
#include "platform/ui/Responder.h"

namespace ui {

class Application;

// The app's side of the application's life cycle. Every call has a default that does nothing.
class ApplicationDelegate : public Responder {
public:
    using LaunchOptions = core::Value::Map;

    // Builds the window; false means the launch failed.
    virtual bool didFinishLaunchingWithOptions(Application&, const LaunchOptions&) { return true; }
    virtual void applicationWillResignActive(Application&) {}
    virtual void applicationDidEnterBackground(Application&) {}
    virtual void applicationWillEnterForeground(Application&) {}
    virtual void applicationDidBecomeActive(Application&) {}
    virtual void applicationWillTerminate(Application&) {}
    virtual void applicationDidReceiveMemoryWarning(Application&) {}
};

}  // namespace ui
