#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/ObserverToken.h"

namespace core {

// The observer list behind NotificationCenter and Observable. Observers are called without
// any lock held; each record remembers which threads are inside its handler right now, which
// is what lets remove() wait for deliveries on other threads and not for its own thread.
template <typename Key, typename... Args>
class ObserverRegistry : public std::enable_shared_from_this<ObserverRegistry<Key, Args...>> {
public:
    using Handler = std::function<void(Args...)>;

    ObserverToken add(Key key, Handler handler) {
        auto record = std::make_shared<Record>(std::move(key), std::move(handler));
        std::uint64_t id = 0;
        {
            std::lock_guard lock(mutex_);
            id = record->id = ++lastId_;
            records_.push_back(std::move(record));
        }
        std::weak_ptr<ObserverRegistry> weak = this->weak_from_this();
        return ObserverToken([weak, id] {
            if (auto registry = weak.lock()) {
                registry->remove(id);
            }
        });
    }

    // Calls, in the order of registration, every observer whose key satisfies `matches`.
    // Observers added during the delivery are not called by it.
    template <typename Matches>
    void deliver(const Matches& matches, Args... args) {
        for (const auto& record : snapshot(matches)) {
            if (!enter(*record)) {
                continue;
            }
            Leaver leaver{*this, *record};
            record->handler(args...);
        }
    }

    std::vector<Key> keys() const {
        std::lock_guard lock(mutex_);
        std::vector<Key> keys;
        for (const auto& record : records_) {
            if (std::find(keys.begin(), keys.end(), record->key) == keys.end()) {
                keys.push_back(record->key);
            }
        }
        return keys;
    }

    void remove(std::uint64_t id) {
        std::unique_lock lock(mutex_);
        auto it = std::find_if(records_.begin(), records_.end(),
                               [id](const auto& record) { return record->id == id; });
        if (it == records_.end()) {
            return;
        }
        auto record = *it;
        records_.erase(it);
        record->removed = true;
        const auto self = std::this_thread::get_id();
        callersLeft_.wait(lock, [&] {
            return std::all_of(record->callers.begin(), record->callers.end(),
                               [self](std::thread::id caller) { return caller == self; });
        });
        // Release what the handler captured now, unless it is running below us on this thread.
        Handler released;
        if (record->callers.empty()) {
            released = std::move(record->handler);
        }
        lock.unlock();
    }

private:
    struct Record {
        Record(Key k, Handler h) : key(std::move(k)), handler(std::move(h)) {}
        Key key;
        Handler handler;
        std::uint64_t id = 0;
        bool removed = false;                  // guarded by mutex_
        std::vector<std::thread::id> callers;  // guarded by mutex_; one entry per running call
    };

    struct Leaver {
        ObserverRegistry& registry;
        Record& record;
        ~Leaver() { registry.leave(record); }
    };

    template <typename Matches>
    std::vector<std::shared_ptr<Record>> snapshot(const Matches& matches) const {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<Record>> matching;
        for (const auto& record : records_) {
            if (matches(record->key)) {
                matching.push_back(record);
            }
        }
        return matching;
    }

    bool enter(Record& record) {
        std::lock_guard lock(mutex_);
        if (record.removed) {
            return false;
        }
        record.callers.push_back(std::this_thread::get_id());
        return true;
    }

    void leave(Record& record) {
        std::lock_guard lock(mutex_);
        auto it =
            std::find(record.callers.begin(), record.callers.end(), std::this_thread::get_id());
        record.callers.erase(it);
        if (record.removed) {
            callersLeft_.notify_all();
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable callersLeft_;
    std::vector<std::shared_ptr<Record>> records_;  // guarded by mutex_
    std::uint64_t lastId_ = 0;                      // guarded by mutex_
};

}  // namespace core
