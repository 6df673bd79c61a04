#include "platform/core/RunLoopWaiter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace core {

namespace {

short toPollEvents(FdEvents events) {
    short result = 0;
    if (hasEvent(events, FdEvents::Readable)) {
        result |= POLLIN;
    }
    if (hasEvent(events, FdEvents::Writable)) {
        result |= POLLOUT;
    }
    return result;
}

FdEvents fromPollEvents(short revents) {
    FdEvents result = FdEvents::None;
    if (revents & (POLLIN | POLLPRI)) {
        result = result | FdEvents::Readable;
    }
    if (revents & POLLOUT) {
        result = result | FdEvents::Writable;
    }
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        result = result | FdEvents::Error;
    }
    return result;
}

// Sleeps on a condition variable while no descriptor is watched (the common case, and the
// cheapest wake-up), and in ppoll() on the descriptors plus an eventfd otherwise. The waker
// only signals the mechanism the loop sleeps in, and only once per sleep.
class DefaultRunLoopWaiter final : public RunLoopWaiter {
public:
    DefaultRunLoopWaiter() : eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (eventFd_ < 0) {
            std::fprintf(stderr, "core::RunLoop: eventfd failed: %s\n", std::strerror(errno));
        }
    }

    ~DefaultRunLoopWaiter() override {
        if (eventFd_ >= 0) {
            ::close(eventFd_);
        }
    }

    void wait(std::span<const Descriptor> descriptors, std::optional<Clock::Duration> timeout,
              std::vector<Descriptor>& ready) override {
        if (descriptors.empty() || eventFd_ < 0) {
            waitOnCondition(timeout);
        } else {
            waitInPoll(descriptors, timeout, ready);
        }
        // Clearing only a set flag keeps the hot path free of a write the wakers would
        // contend on. A wake lost here is harmless: whatever it announced was done before it
        // and the loop looks at everything next.
        if (pending_.load(std::memory_order_relaxed)) {
            pending_.store(false);
        }
    }

    void wake() override {
        if (pending_.exchange(true)) {
            return;  // the sleeper has been told already and has not yet looked
        }
        switch (sleeping_.load()) {
            case Sleep::OnCondition: {
                {
                    std::lock_guard guard(mutex_);
                }
                condition_.notify_one();
                break;
            }
            case Sleep::InPoll: {
                std::uint64_t one = 1;
                [[maybe_unused]] auto written = ::write(eventFd_, &one, sizeof one);
                break;
            }
            case Sleep::Awake:
                break;
        }
    }

private:
    enum class Sleep { Awake, OnCondition, InPoll };

    void waitOnCondition(std::optional<Clock::Duration> timeout) {
        if (timeout && timeout->count() <= 0) {
            return;
        }
        std::unique_lock lock(mutex_);
        sleeping_.store(Sleep::OnCondition);
        auto woken = [this] { return pending_.load(); };
        if (timeout) {
            auto limit = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout);
            condition_.wait_until(lock, std::chrono::steady_clock::now() + limit, woken);
        } else {
            condition_.wait(lock, woken);
        }
        sleeping_.store(Sleep::Awake);
    }

    void waitInPoll(std::span<const Descriptor> descriptors, std::optional<Clock::Duration> timeout,
                    std::vector<Descriptor>& ready) {
        pollFds_.clear();
        pollFds_.push_back({eventFd_, POLLIN, 0});
        for (const auto& descriptor : descriptors) {
            pollFds_.push_back({descriptor.fd, toPollEvents(descriptor.events), 0});
        }
        sleeping_.store(Sleep::InPoll);
        if (pending_.load()) {
            timeout = Clock::Duration(0);
        }
        timespec limit{};
        if (timeout) {
            double seconds = std::max(0.0, timeout->count());
            limit.tv_sec = static_cast<time_t>(seconds);
            limit.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
        }
        int count = ::ppoll(pollFds_.data(), pollFds_.size(), timeout ? &limit : nullptr, nullptr);
        sleeping_.store(Sleep::Awake);
        if (count <= 0) {
            return;  // timed out, or interrupted by a signal: the loop looks again
        }
        if (pollFds_[0].revents != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] auto got = ::read(eventFd_, &drained, sizeof drained);
        }
        for (std::size_t i = 1; i < pollFds_.size(); ++i) {
            if (pollFds_[i].revents != 0) {
                ready.push_back({pollFds_[i].fd, fromPollEvents(pollFds_[i].revents)});
            }
        }
    }

    const int eventFd_;
    std::atomic<bool> pending_{false};
    std::atomic<Sleep> sleeping_{Sleep::Awake};
    std::mutex mutex_;
    std::condition_variable condition_;
    std::vector<pollfd> pollFds_;  // the loop thread's scratch space
};

}  // namespace

std::unique_ptr<RunLoopWaiter> RunLoopWaiter::createDefault() {
    return std::make_unique<DefaultRunLoopWaiter>();
}

}  // namespace core
