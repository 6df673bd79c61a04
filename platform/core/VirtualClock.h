#pragma once

#include "platform/core/Clock.h"

namespace core {

// Installs a virtual time for the lifetime of the object (one at a time). It starts at the
// real time of installation and moves only through advance(), which wakes every run loop so
// that timers now due fire when their loop next runs. Loops never sleep in real time for a
// virtual deadline while it is installed.
class VirtualClock {
public:
    VirtualClock();
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    void advance(Clock::Duration by);
    void advance(double seconds) { advance(Clock::Duration(seconds)); }

    Clock::TimePoint now() const;
};

}  // namespace core
