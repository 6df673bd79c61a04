#include "platform/core/Error.h"

#include <cstring>

namespace core {

Error::Error(std::string domain, std::int64_t code, UserInfo userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

Error Error::posix(int code, std::string_view what) {
    Error error(std::string(POSIXErrorDomain), code);
    char buffer[256];
    // The GNU strerror_r returns the message, possibly not in buffer.
    const char* message = strerror_r(code, buffer, sizeof buffer);
    std::string text = what.empty() ? message : std::string(what) + ": " + message;
    error.set(LocalizedDescriptionKey, Value(text));
    error.set(LocalizedFailureReasonErrorKey, Value(message));
    return error;
}

Error& Error::set(std::string_view key, Value value) {
    userInfo_.insert_or_assign(std::string(key), ErrorInfo(std::move(value)));
    return *this;
}

Error& Error::set(std::string_view key, ObjectPtr object) {
    userInfo_.insert_or_assign(std::string(key), ErrorInfo(std::move(object)));
    return *this;
}

Error& Error::setUnderlyingError(const Error& underlying) {
    userInfo_.insert_or_assign(std::string(UnderlyingErrorKey),
                               ErrorInfo(std::make_shared<const Error>(underlying)));
    return *this;
}

std::string Error::localizedDescription() const {
    if (auto text = string(LocalizedDescriptionKey)) {
        return *text;
    }
    return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) +
           ".)";
}

std::optional<std::string> Error::localizedFailureReason() const {
    return string(LocalizedFailureReasonErrorKey);
}

std::optional<std::string> Error::localizedRecoverySuggestion() const {
    return string(LocalizedRecoverySuggestionErrorKey);
}

std::optional<std::string> Error::failingURL() const {
    if (auto text = string(URLErrorFailingURLErrorKey)) {
        return text;
    }
    if (auto url = object(URLErrorFailingURLErrorKey)) {
        return url->description();
    }
    return std::nullopt;
}

std::optional<Error> Error::underlyingError() const {
    auto found = userInfo_.find(UnderlyingErrorKey);
    if (found == userInfo_.end()) {
        return std::nullopt;
    }
    const auto* error = std::get_if<std::shared_ptr<const Error>>(&found->second);
    if (error == nullptr || *error == nullptr) {
        return std::nullopt;
    }
    return **error;
}

const Value* Error::value(std::string_view key) const {
    auto found = userInfo_.find(key);
    return found == userInfo_.end() ? nullptr : std::get_if<Value>(&found->second);
}

std::optional<std::string> Error::string(std::string_view key) const {
    const Value* entry = value(key);
    if (entry == nullptr || !entry->isString()) {
        return std::nullopt;
    }
    return *entry->asString();
}

namespace {

std::string describeInfo(const ErrorInfo& info) {
    if (const Value* value = std::get_if<Value>(&info)) {
        return value->description();
    }
    if (const ObjectPtr* object = std::get_if<ObjectPtr>(&info)) {
        return *object ? (*object)->description() : "<null>";
    }
    const auto& error = std::get<std::shared_ptr<const Error>>(info);
    return error ? error->description() : "<null>";
}

}  // namespace

std::string Error::description() const {
    std::string text = "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" +
                       localizedDescription() + "\" UserInfo={";
    bool first = true;
    for (const auto& [key, info] : userInfo_) {
        text += first ? "" : ", ";
        text += key + "=" + describeInfo(info);
        first = false;
    }
    return text + "}";
}

namespace {

bool infoEqual(const ErrorInfo& a, const ErrorInfo& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const Value* value = std::get_if<Value>(&a)) {
        return *value == std::get<Value>(b);
    }
    if (const ObjectPtr* object = std::get_if<ObjectPtr>(&a)) {
        return *object == std::get<ObjectPtr>(b);
    }
    const auto& left = std::get<std::shared_ptr<const Error>>(a);
    const auto& right = std::get<std::shared_ptr<const Error>>(b);
    return left && right ? *left == *right : left == right;
}

}  // namespace

bool operator==(const Error& a, const Error& b) {
    if (a.domain_ != b.domain_ || a.code_ != b.code_ || a.userInfo_.size() != b.userInfo_.size()) {
        return false;
    }
    auto left = a.userInfo_.begin();
    for (auto right = b.userInfo_.begin(); right != b.userInfo_.end(); ++left, ++right) {
        if (left->first != right->first || !infoEqual(left->second, right->second)) {
            return false;
        }
    }
    return true;
}

}  // namespace core
