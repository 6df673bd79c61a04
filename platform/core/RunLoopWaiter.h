#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/core/Clock.h"

namespace core {

// What a watched file descriptor is waited for or was found to be. Error covers error and
// hang-up conditions; a callback that sees it should read or close the descriptor.
enum class FdEvents : unsigned { None = 0, Readable = 1, Writable = 2, Error = 4 };

constexpr FdEvents operator|(FdEvents a, FdEvents b) {
    return static_cast<FdEvents>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr FdEvents operator&(FdEvents a, FdEvents b) {
    return static_cast<FdEvents>(static_cast<unsigned>(a) & static_cast<unsigned>(b));
}
constexpr bool hasEvent(FdEvents set, FdEvents event) {
    return (set & event) != FdEvents::None;
}

// How a run loop sleeps. The default waits with poll() on the watched descriptors plus an
// eventfd, or on a condition variable when nothing is watched; a desktop shell plugs in one
// that also waits for window events (RunLoop::setWaiter).
class RunLoopWaiter {
public:
    struct Descriptor {
        int fd = -1;
        FdEvents events = FdEvents::None;
    };

    virtual ~RunLoopWaiter() = default;

    // Called on the loop's thread. Blocks until wake() is called, one of `descriptors` is
    // ready, or `timeout` passes (nullopt: no limit; zero: only look). Appends the ready
    // descriptors with the events found to `ready`. A wake() that came before the call makes
    // it return at once, and every call consumes the wakes made so far.
    virtual void wait(std::span<const Descriptor> descriptors,
                      std::optional<Clock::Duration> timeout, std::vector<Descriptor>& ready) = 0;

    // Called on any thread; must be cheap and must never block for long.
    virtual void wake() = 0;

    static std::unique_ptr<RunLoopWaiter> createDefault();
};

}  // namespace core
