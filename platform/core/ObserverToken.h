#pragma once

#include <functional>

namespace core {

// Keeps one observer registered: a notification observer or a key-value observer.
// Destroying the token, or calling remove(), unregisters it. Once that returns the observer
// is not called again, even by a delivery already under way on another thread: removal waits
// for such a delivery to end. Removal from inside the observer itself (or from anything it
// calls on the same thread) returns at once instead. Two observers that remove each other
// from inside their own deliveries on two threads wait for each other: don't.
class ObserverToken {
public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> remover) : remover_(std::move(remover)) {}
    ~ObserverToken() { remove(); }

    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;

    // Idempotent; a token whose center or observed object is gone removes nothing.
    void remove();

    // False for a default-made, moved-from or removed token.
    bool isActive() const { return static_cast<bool>(remover_); }

private:
    std::function<void()> remover_;
};

}  // namespace core
