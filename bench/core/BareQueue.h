#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace bench {

// The yardstick: the plainest correct cross-thread task queue, a mutex and a condition
// variable around a deque, woken on every push.
class BareQueue {
public:
    void push(std::function<void()> task) {
        {
            std::lock_guard guard(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
    }

    std::function<void()> pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !tasks_.empty(); });
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace bench
