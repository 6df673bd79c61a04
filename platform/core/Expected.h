#pragma once

#include <cstdlib>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/core/Error.h"

namespace core {

// A result that is either a value or the Error that prevented it. Asking a failed result
// for its value (or a successful one for its error) is a programming error and aborts.
template <class T>
class [[nodiscard]] Expected {
    static_assert(!std::is_same_v<T, Error>, "an Error is the failure, not the value");

public:
    // Anything T can be made from, so `return "text";` or a derived pointer works.
    template <class U = T>
    requires std::is_constructible_v<T, U&&> &&(!std::is_same_v<std::remove_cvref_t<U>, Error>)&&(
        !std::is_same_v<std::remove_cvref_t<U>, Expected>)Expected(U&& value)
        : storage_(std::in_place_index<0>, std::forward<U>(value)) {}
    Expected(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return storage_.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return *checkedValue(); }
    const T& value() const& { return *checkedValue(); }
    T&& value() && { return std::move(*checkedValue()); }
    T valueOr(T fallback) const& { return hasValue() ? value() : std::move(fallback); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return checkedValue(); }
    const T* operator->() const { return checkedValue(); }

    const Error& error() const {
        if (hasValue()) {
            std::abort();
        }
        return std::get<1>(storage_);
    }

private:
    T* checkedValue() {
        if (!hasValue()) {
            std::abort();
        }
        return &std::get<0>(storage_);
    }
    const T* checkedValue() const { return const_cast<Expected*>(this)->checkedValue(); }

    std::variant<T, Error> storage_;
};

// Success without a value, or an Error.
template <>
class [[nodiscard]] Expected<void> {
public:
    Expected() = default;
    Expected(Error error) : error_(std::move(error)) {}

    bool hasValue() const { return !error_.has_value(); }
    explicit operator bool() const { return hasValue(); }

    const Error& error() const {
        if (hasValue()) {
            std::abort();
        }
        return *error_;
    }

private:
    std::optional<Error> error_;
};

}  // namespace core
