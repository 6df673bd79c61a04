#include "platform/core/ObserverToken.h"

#include <utility>

namespace core {

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : remover_(std::exchange(other.remover_, nullptr)) {}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        remove();
        remover_ = std::exchange(other.remover_, nullptr);
    }
    return *this;
}

void ObserverToken::remove() {
    // Cleared before the call so that a removal re-entered from the remover finds nothing.
    auto remover = std::exchange(remover_, nullptr);
    if (remover) {
        remover();
    }
}

}  // namespace core
