#include "platform/ui/Application.h"

#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/ViewTransition.h"

namespace ui {

std::shared_ptr<Application> Application::shared() {
    static std::shared_ptr<Application> application(new Application());
    return application;
}

int Application::main(std::shared_ptr<ApplicationDelegate> delegate) {
    auto application = shared();
    if (!application->launch(std::move(delegate))) {
        return 1;
    }
    auto loop = core::RunLoop::main();
    while (application->state_ != ApplicationState::Terminated) {
        loop->run();
    }
    return 0;
}

bool Application::launch(std::shared_ptr<ApplicationDelegate> delegate,
                         const ApplicationDelegate::LaunchOptions& options) {
    assertMainThread();
    if (launched_ || !delegate) {
        return false;
    }
    launched_ = true;
    delegate_ = std::move(delegate);
    auto protectedDelegate = delegate_;
    if (!protectedDelegate->didFinishLaunchingWithOptions(*this, options)) {
        core::log("The application delegate refused to launch");
        return false;
    }
    becomeActive();
    return true;
}

void Application::setKeyWindow(const std::shared_ptr<Window>& window) {
    keyWindow_ = window;
}

void Application::post(std::string_view name) {
    core::NotificationCenter::defaultCenter()->post(std::string(name));
}

BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
    return backgroundTasks_.begin(std::move(expirationHandler));
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    backgroundTasks_.end(identifier);
}

void Application::expireBackgroundTasks() {
    assertMainThread();
    for (auto& [identifier, handler] : backgroundTasks_.handlersForExpiry()) {
        if (handler) {
            handler();
        }
        backgroundTasks_.end(identifier);
    }
}

void Application::resignActive() {
    assertMainThread();
    if (state_ != ApplicationState::Active) {
        return;
    }
    state_ = ApplicationState::Inactive;
    if (delegate_) {
        delegate_->applicationWillResignActive(*this);
    }
    post(ApplicationWillResignActiveNotification);
}

void Application::enterBackground() {
    resignActive();
    if (state_ != ApplicationState::Inactive) {
        return;
    }
    state_ = ApplicationState::Background;
    if (delegate_) {
        delegate_->applicationDidEnterBackground(*this);
    }
    post(ApplicationDidEnterBackgroundNotification);
    std::weak_ptr<Application> weak = shared();
    backgroundTimer_ = core::Timer::scheduled(kBackgroundTimeLimit, core::Timer::Repeats::No,
                                              [weak](core::Timer&) {
                                                  if (auto self = weak.lock()) {
                                                      self->expireBackgroundTasks();
                                                  }
                                              });
}

void Application::enterForeground() {
    assertMainThread();
    if (state_ != ApplicationState::Background) {
        return;
    }
    if (backgroundTimer_) {
        backgroundTimer_->invalidate();
        backgroundTimer_.reset();
    }
    state_ = ApplicationState::Inactive;
    if (delegate_) {
        delegate_->applicationWillEnterForeground(*this);
    }
    post(ApplicationWillEnterForegroundNotification);
    becomeActive();
}

void Application::becomeActive() {
    assertMainThread();
    if (state_ != ApplicationState::Inactive) {
        return;
    }
    state_ = ApplicationState::Active;
    if (delegate_) {
        delegate_->applicationDidBecomeActive(*this);
    }
    post(ApplicationDidBecomeActiveNotification);
}

void Application::terminate() {
    assertMainThread();
    if (state_ == ApplicationState::Terminated) {
        return;
    }
    if (delegate_) {
        delegate_->applicationWillTerminate(*this);
    }
    post(ApplicationWillTerminateNotification);
    state_ = ApplicationState::Terminated;
    core::RunLoop::main()->stop();
}

void Application::sendMemoryWarning() {
    assertMainThread();
    if (delegate_) {
        delegate_->applicationDidReceiveMemoryWarning(*this);
    }
    post(ApplicationDidReceiveMemoryWarningNotification);
}

void Application::resetForTesting() {
    assertMainThread();
    if (backgroundTimer_) {
        backgroundTimer_->invalidate();
        backgroundTimer_.reset();
    }
    for (const auto& transition : ViewTransition::running()) {
        transition->finish();
    }
    Prompt::removeAllForTesting();
    delegate_.reset();
    keyWindow_.reset();
    state_ = ApplicationState::Inactive;
    launched_ = false;
    networkIndicator_ = false;
}

}  // namespace ui
