#pragma once

#include <atomic>

namespace core::detail {

// The state behind an installed VirtualClock; kept in atomics so that any thread may read
// the clock while a test advances it.
struct VirtualTime {
    std::atomic<bool> installed{false};
    std::atomic<double> seconds{0.0};  // since the steady clock's epoch
};

VirtualTime& virtualTime();

}  // namespace core::detail
