#include "net/ui/NetworkActivityIndicatorManager.h"

#include <string>

#include "net/NetworkingErrors.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"

namespace net {

std::shared_ptr<NetworkActivityIndicatorManager> NetworkActivityIndicatorManager::sharedManager() {
    static const auto manager = [] {
        std::shared_ptr<NetworkActivityIndicatorManager> made(
            new NetworkActivityIndicatorManager());
        std::weak_ptr<NetworkActivityIndicatorManager> weak = made;
        auto center = core::NotificationCenter::defaultCenter();
        made->startObservation_ = center->addObserver(
            std::string(URLConnectionOperationStartNotification), [weak](const auto&) {
                if (auto self = weak.lock()) {
                    self->incrementActivityCount();
                }
            });
        made->finishObservation_ = center->addObserver(
            std::string(URLConnectionOperationFinishNotification), [weak](const auto&) {
                if (auto self = weak.lock()) {
                    self->decrementActivityCount();
                }
            });
        return made;
    }();
    return manager;
}

NetworkActivityIndicatorManager::NetworkActivityIndicatorManager() = default;

NetworkActivityIndicatorManager::~NetworkActivityIndicatorManager() {
    startObservation_.remove();
    finishObservation_.remove();
    std::lock_guard lock(mutex_);
    if (timer_) {
        timer_->invalidate();
    }
}

bool NetworkActivityIndicatorManager::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void NetworkActivityIndicatorManager::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

std::int64_t NetworkActivityIndicatorManager::activityCount() const {
    std::lock_guard lock(mutex_);
    return activityCount_;
}

std::shared_ptr<core::Timer> NetworkActivityIndicatorManager::activityIndicatorVisibilityTimer()
    const {
    std::lock_guard lock(mutex_);
    return timer_;
}

void NetworkActivityIndicatorManager::setActivityCount(std::int64_t count) {
    willChangeValueForKey(kActivityCount);
    {
        std::lock_guard lock(mutex_);
        activityCount_ = count < 0 ? 0 : count;
    }
    didChangeValueForKey(kActivityCount);
    updateVisibilityDelayed();
}

void NetworkActivityIndicatorManager::incrementActivityCount() {
    changeCount(1);
}

void NetworkActivityIndicatorManager::decrementActivityCount() {
    changeCount(-1);
}

void NetworkActivityIndicatorManager::changeCount(std::int64_t delta) {
    willChangeValueForKey(kActivityCount);
    {
        std::lock_guard lock(mutex_);
        if (activityCount_ + delta >= 0) {
            activityCount_ += delta;
        }
    }
    didChangeValueForKey(kActivityCount);
    updateVisibilityDelayed();
}

void NetworkActivityIndicatorManager::updateVisibilityDelayed() {
    std::weak_ptr<NetworkActivityIndicatorManager> weak =
        std::static_pointer_cast<NetworkActivityIndicatorManager>(shared_from_this());
    std::unique_lock lock(mutex_);
    if (!enabled_) {
        return;
    }
    if (activityCount_ > 0) {
        lock.unlock();
        core::DispatchQueue::main()->async([weak] {
            if (auto self = weak.lock()) {
                self->updateVisibility();
            }
        });
        return;
    }
    // Replaced under the lock, so two threads reaching zero together leave one live timer
    // rather than one each.
    if (timer_) {
        timer_->invalidate();
    }
    timer_ = core::Timer::create(kHideDelay, core::Timer::Repeats::No, [weak](core::Timer&) {
        if (auto self = weak.lock()) {
            self->updateVisibility();
        }
    });
    core::RunLoop::main()->addTimer(timer_, core::RunLoop::kCommonModes);
}

void NetworkActivityIndicatorManager::updateVisibility() {
    // The count of this moment, not of when the update was asked for.
    const bool visible = isNetworkActivityIndicatorVisible();
    if (auto application = ui::Application::shared()) {
        application->setNetworkActivityIndicatorVisible(visible);
    }
}

std::vector<std::string> NetworkActivityIndicatorManager::keysAffecting(
    const std::string& key) const {
    if (key == kIsNetworkActivityIndicatorVisible) {
        return {kActivityCount};
    }
    return {};
}

std::string NetworkActivityIndicatorManager::description() const {
    return "<NetworkActivityIndicatorManager activityCount=" + std::to_string(activityCount()) +
           (isEnabled() ? " enabled>" : ">");
}

}  // namespace net
