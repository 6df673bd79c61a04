#include "platform/core/VirtualClock.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/ClockPrivate.h"
#include "platform/core/RunLoopPrivate.h"

namespace core {

VirtualClock::VirtualClock() {
    auto& time = detail::virtualTime();
    time.seconds.store(Clock::realNow().time_since_epoch().count());
    if (time.installed.exchange(true)) {
        std::fprintf(stderr, "core::VirtualClock: a virtual clock is already installed\n");
        std::abort();
    }
    detail::wakeAllRunLoops();
}

VirtualClock::~VirtualClock() {
    detail::virtualTime().installed.store(false);
    detail::wakeAllRunLoops();
}

void VirtualClock::advance(Clock::Duration by) {
    if (!(by.count() > 0)) {
        return;  // time never runs backwards, and NaN moves nothing
    }
    detail::virtualTime().seconds.fetch_add(by.count());
    detail::wakeAllRunLoops();
}

Clock::TimePoint VirtualClock::now() const {
    return Clock::TimePoint(Clock::Duration(detail::virtualTime().seconds.load()));
}

}  // namespace core
