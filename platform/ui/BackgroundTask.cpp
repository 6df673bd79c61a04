#include "platform/ui/BackgroundTask.h"

#include <utility>

namespace ui {

BackgroundTaskIdentifier BackgroundTaskList::begin(ExpirationHandler handler) {
    std::lock_guard lock(mutex_);
    BackgroundTaskIdentifier identifier = next_++;
    tasks_.emplace(identifier, std::move(handler));
    return identifier;
}

void BackgroundTaskList::end(BackgroundTaskIdentifier identifier) {
    std::lock_guard lock(mutex_);
    tasks_.erase(identifier);
}

std::size_t BackgroundTaskList::count() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

std::vector<std::pair<BackgroundTaskIdentifier, BackgroundTaskList::ExpirationHandler>>
BackgroundTaskList::handlersForExpiry() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<BackgroundTaskIdentifier, ExpirationHandler>> handlers;
    for (auto& [identifier, handler] : tasks_) {
        handlers.emplace_back(identifier, std::exchange(handler, nullptr));
    }
    return handlers;
}

}  // namespace ui
