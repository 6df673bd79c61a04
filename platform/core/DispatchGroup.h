#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/DispatchQueue.h"

namespace core {

// Counts outstanding work. notify() queues a task once the count is zero; wait() blocks until
// then.
class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
public:
    static std::shared_ptr<DispatchGroup> create();

    DispatchGroup(const DispatchGroup&) = delete;
    DispatchGroup& operator=(const DispatchGroup&) = delete;

    void enter();
    // A leave() without its enter() is a programming error and is ignored (asserts in debug).
    void leave();
    // enter(), queue the task, leave() once it has run.
    void async(const std::shared_ptr<DispatchQueue>& queue, Task task);
    // Queues the task on `queue` as soon as the count is zero: at once if it is zero now.
    void notify(const std::shared_ptr<DispatchQueue>& queue, Task task);
    // Blocks until the count is zero or `timeout` of real time has passed; true if zero.
    bool wait(Clock::Duration timeout = Clock::Duration::max());

private:
    DispatchGroup() = default;

    std::mutex mutex_;
    std::condition_variable zero_;
    long count_ = 0;  // guarded by mutex_
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, Task>> notifications_;  // guarded
};

}  // namespace core
