#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace ui {

using BackgroundTaskIdentifier = std::uint64_t;
inline constexpr BackgroundTaskIdentifier BackgroundTaskInvalid = 0;

// The background tasks the app has begun and not ended: work that asks for time to finish
// after the app leaves the foreground. Any thread.
class BackgroundTaskList {
public:
    using ExpirationHandler = std::function<void()>;

    BackgroundTaskIdentifier begin(ExpirationHandler handler);
    // Ends the task; unknown or already ended identifiers are ignored.
    void end(BackgroundTaskIdentifier identifier);
    std::size_t count() const;
    // Takes the handlers of every task now open, leaving the tasks open: each handler is
    // expected to end its task, as it must before the time runs out.
    std::vector<std::pair<BackgroundTaskIdentifier, ExpirationHandler>> handlersForExpiry();

private:
    mutable std::mutex mutex_;
    BackgroundTaskIdentifier next_ = 1;                            // guarded by mutex_
    std::map<BackgroundTaskIdentifier, ExpirationHandler> tasks_;  // guarded by mutex_
};

}  // namespace ui
