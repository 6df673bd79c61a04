#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/core/Object.h"
#include "platform/core/Value.h"

namespace core {

// Keys of an error's user information that the platform itself reads.
inline constexpr std::string_view LocalizedDescriptionKey = "LocalizedDescription";
inline constexpr std::string_view LocalizedFailureReasonErrorKey = "LocalizedFailureReason";
inline constexpr std::string_view LocalizedRecoverySuggestionErrorKey =
    "LocalizedRecoverySuggestion";
// The URL that failed to load: a string, or an object whose description is the URL.
inline constexpr std::string_view URLErrorFailingURLErrorKey = "ErrorFailingURLKey";
inline constexpr std::string_view UnderlyingErrorKey = "UnderlyingError";
inline constexpr std::string_view FilePathErrorKey = "FilePath";

// Errors whose code is an errno value.
inline constexpr std::string_view POSIXErrorDomain = "POSIXErrorDomain";

class Error;

// One entry of an error's user information: a value (string, number, bytes, tree), a shared
// object such as the failing request or response, or an underlying error.
using ErrorInfo = std::variant<Value, ObjectPtr, std::shared_ptr<const Error>>;

// An error as a value: a domain, a code within it and further information by key.
class Error {
public:
    using UserInfo = std::map<std::string, ErrorInfo, std::less<>>;

    Error(std::string domain, std::int64_t code, UserInfo userInfo = {});

    // An error of POSIXErrorDomain for errno value `code`, described as
    // "<what>: <system message>", e.g. "Cannot open /tmp/x: No such file or directory".
    static Error posix(int code, std::string_view what);

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const UserInfo& userInfo() const { return userInfo_; }

    // Adds or replaces one entry; returns *this so entries can be chained.
    Error& set(std::string_view key, Value value);
    Error& set(std::string_view key, ObjectPtr object);
    Error& setUnderlyingError(const Error& underlying);

    // The stored description, or "The operation couldn't be completed. (<domain> error
    // <code>.)" when none is stored.
    std::string localizedDescription() const;
    std::optional<std::string> localizedFailureReason() const;
    std::optional<std::string> localizedRecoverySuggestion() const;
    std::optional<std::string> failingURL() const;
    std::optional<Error> underlyingError() const;

    bool contains(std::string_view key) const { return userInfo_.find(key) != userInfo_.end(); }
    // The entry as a value, or nullptr when absent or not a value.
    const Value* value(std::string_view key) const;
    // The entry when it is a string value.
    std::optional<std::string> string(std::string_view key) const;
    // The entry when it is an object of type T (or derived from it).
    template <class T = Object>
    std::shared_ptr<T> object(std::string_view key) const {
        auto found = userInfo_.find(key);
        if (found == userInfo_.end()) {
            return nullptr;
        }
        const ObjectPtr* object = std::get_if<ObjectPtr>(&found->second);
        return object == nullptr ? nullptr : std::dynamic_pointer_cast<T>(*object);
    }

    // "Error Domain=<domain> Code=<code> "<localized description>" UserInfo={key=value, ...}"
    std::string description() const;

    // Same domain, code and information; objects compare by identity.
    friend bool operator==(const Error& a, const Error& b);

private:
    std::string domain_;
    std::int64_t code_;
    UserInfo userInfo_;
};

}  // namespace core
