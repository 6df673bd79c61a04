#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "platform/core/Timer.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/BackgroundTask.h"
#include "platform/ui/Window.h"

namespace ui {

// Posted on the default center by the application's life-cycle moves.
inline constexpr std::string_view ApplicationDidReceiveMemoryWarningNotification =
    "ApplicationDidReceiveMemoryWarningNotification";
inline constexpr std::string_view ApplicationDidEnterBackgroundNotification =
    "ApplicationDidEnterBackgroundNotification";
inline constexpr std::string_view ApplicationWillEnterForegroundNotification =
    "ApplicationWillEnterForegroundNotification";
inline constexpr std::string_view ApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
inline constexpr std::string_view ApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
inline constexpr std::string_view ApplicationWillTerminateNotification =
    "ApplicationWillTerminateNotification";

enum class ApplicationState { Inactive, Active, Background, Terminated };

// The running app: its delegate, key window, life cycle, network activity indicator and
// background tasks. One per process. Main thread, except the background task calls.
class Application : public Responder {
public:
    // How long background tasks may run once the app is in the background.
    static constexpr double kBackgroundTimeLimit = 180.0;

    static std::shared_ptr<Application> shared();

    // Launches with `delegate` and runs the main run loop until terminate(); returns the
    // process's exit status (1 when the launch failed).
    static int main(std::shared_ptr<ApplicationDelegate> delegate);
    // The launch alone: didFinishLaunchingWithOptions, then active. For drivers that run the
    // loop themselves. False when the delegate refused or an app is already running.
    bool launch(std::shared_ptr<ApplicationDelegate> delegate,
                const ApplicationDelegate::LaunchOptions& options = {});

    std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_; }
    ApplicationState applicationState() const { return state_; }
    std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }

    bool isNetworkActivityIndicatorVisible() const { return networkIndicator_; }
    void setNetworkActivityIndicatorVisible(bool visible) { networkIndicator_ = visible; }

    // Any thread. The handler runs on the main thread if the time runs out first.
    BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler);
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    std::size_t backgroundTaskCount() const { return backgroundTasks_.count(); }
    // Calls every open task's expiration handler now, and ends the tasks that the handlers
    // left open, as happens when the background time is up.
    void expireBackgroundTasks();

    // The moves between foreground and background, as the desktop shell or a test makes them.
    void resignActive();
    void enterBackground();
    void enterForeground();
    void becomeActive();
    void terminate();
    void sendMemoryWarning();

    // Settles running transitions, drops prompts, and forgets the delegate, windows and
    // state, so that a test can launch again.
    void resetForTesting();

private:
    friend class Window;
    Application() = default;
    void setKeyWindow(const std::shared_ptr<Window>& window);
    void post(std::string_view name);

    std::shared_ptr<ApplicationDelegate> delegate_;
    std::weak_ptr<Window> keyWindow_;
    ApplicationState state_ = ApplicationState::Inactive;
    bool launched_ = false;
    bool networkIndicator_ = false;
    BackgroundTaskList backgroundTasks_;
    std::shared_ptr<core::Timer> backgroundTimer_;
};

}  // namespace ui
