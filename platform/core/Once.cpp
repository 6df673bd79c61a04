#include "platform/core/Once.h"

namespace core {

void Once::call(const std::function<void()>& function) {
    if (done_.load(std::memory_order_acquire)) {
        return;
    }
    std::lock_guard guard(mutex_);
    if (done_.load(std::memory_order_relaxed)) {
        return;
    }
    if (function) {
        function();
    }
    done_.store(true, std::memory_order_release);
}

}  // namespace core
