#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace core {

// One-time initialisation: the first call() runs the function, concurrent callers wait
// until it has returned, later callers return at once. Function-local statics give the same
// guarantee and are the simpler tool when the result is a value; Once is for a side effect
// guarded by a member or a global.
class Once {
public:
    Once() = default;
    Once(const Once&) = delete;
    Once& operator=(const Once&) = delete;

    void call(const std::function<void()>& function);

    bool hasRun() const { return done_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> done_{false};
    std::mutex mutex_;
};

}  // namespace core
