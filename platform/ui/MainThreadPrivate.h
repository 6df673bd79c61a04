#pragma once

#include <cassert>

#include "platform/core/Thread.h"

namespace ui {

// The view tree belongs to the main thread; a call from anywhere else is a bug in the caller.
inline void assertMainThread() {
    assert(core::Thread::isMainThread());
}

}  // namespace ui
