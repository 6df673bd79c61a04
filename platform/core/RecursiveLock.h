#pragma once

#include <mutex>
#include <string>

namespace core {

// A mutual-exclusion lock that the owning thread may take again; each lock() needs its
// unlock(). Meets Lockable, so std::lock_guard and std::unique_lock work with it.
class RecursiveLock {
public:
    RecursiveLock() = default;
    explicit RecursiveLock(std::string name) : name_(std::move(name)) {}
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }
    bool try_lock() { return tryLock(); }

    // The name shows up in descriptions and diagnostics only.
    void setName(std::string name);
    std::string name() const;

private:
    std::recursive_mutex mutex_;
    mutable std::mutex nameMutex_;
    std::string name_;  // guarded by nameMutex_
};

}  // namespace core
