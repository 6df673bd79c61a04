#pragma once

namespace core::detail {

// Kernel thread ids: stable for a thread's life and known before any object exists.
int currentThreadId();
int mainThreadId();

}  // namespace core::detail
