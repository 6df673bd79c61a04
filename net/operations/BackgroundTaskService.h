#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace net {

using BackgroundTaskIdentifier = std::uint64_t;
// No task: what an operation holds before it began one and after it ended it.
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;

// The application's grant of running time after it leaves the foreground. On a desktop there
// is no such limit, so the service only keeps the tasks begun and runs their expiration
// handlers when told that time is up (the shell does when it closes, a test when it wants to).
class BackgroundTaskService {
public:
    using ExpirationHandler = std::function<void()>;
    // The application's own list of background tasks, which this layer does not link. Each
    // task begun here is mirrored there, so that when the application's time runs out the
    // expiry reaches this layer's operations as well; ending a task here ends its mirror.
    struct Backend {
        std::function<BackgroundTaskIdentifier(ExpirationHandler)> begin;
        std::function<void(BackgroundTaskIdentifier)> end;
    };

    // The process-wide service.
    static BackgroundTaskService& shared();

    BackgroundTaskService() = default;
    // Ends the mirrors of the tasks still begun.
    ~BackgroundTaskService();
    BackgroundTaskService(const BackgroundTaskService&) = delete;
    BackgroundTaskService& operator=(const BackgroundTaskService&) = delete;

    // Never returns kBackgroundTaskInvalid.
    BackgroundTaskIdentifier beginBackgroundTask(ExpirationHandler handler);
    // Unknown or already ended identifiers are ignored.
    void endBackgroundTask(BackgroundTaskIdentifier identifier);

    // Runs the expiration handler of every task still begun, on the calling thread, without
    // any lock held. The handlers are expected to end their tasks.
    void expireAll();
    std::size_t activeTaskCount() const;

    // Mirrors the tasks begun from now on; an empty backend stops mirroring. Both functions
    // are called without any lock of this service held.
    void setBackend(Backend backend);

private:
    struct Task {
        ExpirationHandler handler;
        BackgroundTaskIdentifier mirror = kBackgroundTaskInvalid;
        std::function<void(BackgroundTaskIdentifier)> endMirror;
    };
    void mirror(BackgroundTaskIdentifier identifier, const Backend& backend);
    void expire(BackgroundTaskIdentifier identifier);

    mutable std::mutex mutex_;
    BackgroundTaskIdentifier next_ = 1;               // guarded by mutex_
    std::map<BackgroundTaskIdentifier, Task> tasks_;  // guarded by mutex_
    Backend backend_;                                 // guarded by mutex_
};

}  // namespace net
