#include "platform/core/DispatchGroup.h"

#include <cassert>
#include <cstdio>

#include "platform/core/DispatchQueuePrivate.h"

namespace core {

namespace {

// Longer timeouts mean "for ever"; converting them to the steady clock would overflow.
constexpr double kForeverSeconds = 1e9;

}  // namespace

std::shared_ptr<DispatchGroup> DispatchGroup::create() {
    return std::shared_ptr<DispatchGroup>(new DispatchGroup);
}

void DispatchGroup::enter() {
    std::lock_guard guard(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    // A waiter may drop the last reference the moment the count reaches zero.
    auto protectedThis = shared_from_this();
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, Task>> due;
    {
        std::lock_guard guard(mutex_);
        if (count_ == 0) {
            std::fprintf(stderr, "core::DispatchGroup: leave() without a matching enter()\n");
            assert(!"unbalanced DispatchGroup::leave");
            return;
        }
        if (--count_ > 0) {
            return;
        }
        due.swap(notifications_);
        zero_.notify_all();
    }
    for (auto& [queue, task] : due) {
        queue->async(std::move(task));
    }
}

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, Task task) {
    if (!queue || !task) {
        return;
    }
    enter();
    queue->async([self = shared_from_this(), task = std::move(task)] {
        task();
        self->leave();
    });
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, Task task) {
    if (!queue || !task) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        if (count_ > 0) {
            notifications_.emplace_back(queue, std::move(task));
            return;
        }
    }
    queue->async(std::move(task));
}

bool DispatchGroup::wait(Clock::Duration timeout) {
    detail::sendHeldWorkerWakeUp();
    std::unique_lock lock(mutex_);
    auto zero = [this] { return count_ == 0; };
    if (timeout.count() >= kForeverSeconds) {
        zero_.wait(lock, zero);
        return true;
    }
    auto limit =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(timeout, Clock::Duration(0)));
    return zero_.wait_until(lock, std::chrono::steady_clock::now() + limit, zero);
}

}  // namespace core
