#include "platform/core/RecursiveLock.h"

namespace core {

void RecursiveLock::setName(std::string name) {
    std::lock_guard guard(nameMutex_);
    name_ = std::move(name);
}

std::string RecursiveLock::name() const {
    std::lock_guard guard(nameMutex_);
    return name_;
}

}  // namespace core
