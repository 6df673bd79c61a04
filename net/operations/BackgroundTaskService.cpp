#include "net/operations/BackgroundTaskService.h"

#include <utility>
#include <vector>

namespace net {

BackgroundTaskService& BackgroundTaskService::shared() {
    static BackgroundTaskService* service = new BackgroundTaskService;  // lives for the process
    return *service;
}

BackgroundTaskService::~BackgroundTaskService() {
    for (auto& [identifier, task] : tasks_) {
        if (task.endMirror) {
            task.endMirror(task.mirror);
        }
    }
}

BackgroundTaskIdentifier BackgroundTaskService::beginBackgroundTask(ExpirationHandler handler) {
    BackgroundTaskIdentifier identifier;
    Backend backend;
    {
        std::lock_guard lock(mutex_);
        identifier = next_++;
        tasks_.emplace(identifier, Task{std::move(handler), kBackgroundTaskInvalid, {}});
        backend = backend_;
    }
    if (backend.begin && backend.end) {
        mirror(identifier, backend);
    }
    return identifier;
}

void BackgroundTaskService::mirror(BackgroundTaskIdentifier identifier, const Backend& backend) {
    const BackgroundTaskIdentifier mirrored =
        backend.begin([this, identifier] { expire(identifier); });
    {
        std::lock_guard lock(mutex_);
        auto found = tasks_.find(identifier);
        if (found != tasks_.end()) {
            found->second.mirror = mirrored;
            found->second.endMirror = backend.end;
            return;
        }
    }
    backend.end(mirrored);  // the task ended while its mirror was being begun
}

void BackgroundTaskService::expire(BackgroundTaskIdentifier identifier) {
    ExpirationHandler handler;
    {
        std::lock_guard lock(mutex_);
        auto found = tasks_.find(identifier);
        if (found == tasks_.end()) {
            return;
        }
        handler = found->second.handler;
    }
    if (handler) {
        handler();
    }
}

void BackgroundTaskService::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    Task released;  // destroyed outside the lock: its handler may hold an operation
    {
        std::lock_guard lock(mutex_);
        auto found = tasks_.find(identifier);
        if (found == tasks_.end()) {
            return;
        }
        released = std::move(found->second);
        tasks_.erase(found);
    }
    if (released.endMirror) {
        released.endMirror(released.mirror);
    }
}

void BackgroundTaskService::expireAll() {
    std::vector<ExpirationHandler> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [identifier, task] : tasks_) {
            handlers.push_back(task.handler);
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

void BackgroundTaskService::setBackend(Backend backend) {
    std::lock_guard lock(mutex_);
    backend_ = std::move(backend);
}

}  // namespace net
