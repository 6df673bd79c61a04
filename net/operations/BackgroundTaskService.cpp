#include "net/operations/BackgroundTaskService.h"

#include <utility>
#include <vector>

namespace net {

BackgroundTaskService& BackgroundTaskService::shared() {
    static BackgroundTaskService* service = new BackgroundTaskService;  // lives for the process
    return *service;
}

BackgroundTaskIdentifier BackgroundTaskService::beginBackgroundTask(ExpirationHandler handler) {
    std::lock_guard lock(mutex_);
    const BackgroundTaskIdentifier identifier = next_++;
    tasks_.emplace(identifier, std::move(handler));
    return identifier;
}

void BackgroundTaskService::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    ExpirationHandler released;  // destroyed outside the lock: it may hold an operation
    std::lock_guard lock(mutex_);
    auto found = tasks_.find(identifier);
    if (found != tasks_.end()) {
        released = std::move(found->second);
        tasks_.erase(found);
    }
}

void BackgroundTaskService::expireAll() {
    std::vector<ExpirationHandler> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [identifier, handler] : tasks_) {
            handlers.push_back(handler);
        }
    }
    for (const auto& handler : handlers) {
        if (handler) {
            handler();
        }
    }
}

std::size_t BackgroundTaskService::activeTaskCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

}  // namespace net
