#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace url {
class URLRequest;
}

namespace net {

class URLConnectionOperation;

// What C++ lacks and the operation family needs: a run-time class. One static descriptor per
// operation class, with a parent pointer, carries the class-level values that subclasses
// inherit unless they have their own (acceptable status codes and content types), the test
// that lets a client choose the class for a request, and a factory. Descriptors register
// themselves by name when made, so a client can keep class names and find the class later.
class OperationClass {
public:
    using StatusCodes = std::set<int>;
    using ContentTypes = std::set<std::string>;
    using Factory = std::function<std::shared_ptr<URLConnectionOperation>(
        std::shared_ptr<const url::URLRequest>)>;
    // Answers canProcessRequest for a class; `self` is the class asked.
    using RequestTest = std::function<bool(const OperationClass& self, const url::URLRequest&)>;

    // `parent` is null only for the root of the family. An empty test inherits the parent's.
    OperationClass(std::string name, const OperationClass* parent, Factory factory,
                   RequestTest canProcess = {});
    OperationClass(const OperationClass&) = delete;
    OperationClass& operator=(const OperationClass&) = delete;

    // The descriptor registered under `name`, or null.
    static const OperationClass* named(std::string_view name);

    const std::string& name() const { return name_; }
    const OperationClass* parent() const { return parent_; }
    // True for this class itself and for its descendants.
    bool isSubclassOf(const OperationClass& ancestor) const;

    // The class's own value, else its nearest ancestor's, looked up now. None: every status
    // code (content type) is acceptable.
    std::optional<StatusCodes> acceptableStatusCodes() const;
    std::optional<ContentTypes> acceptableContentTypes() const;
    // The same lookups for one value, without copying the sets: every answer asks them.
    bool acceptsStatusCode(int code) const;
    bool acceptsContentType(const std::string& type) const;
    // Give this class a value of its own; descendants without one see it.
    void setAcceptableStatusCodes(std::optional<StatusCodes> codes) const;
    void setAcceptableContentTypes(std::optional<ContentTypes> types) const;
    // The current value (none counting as empty) plus `codes`, as this class's own.
    void addAcceptableStatusCodes(const StatusCodes& codes) const;
    void addAcceptableContentTypes(const ContentTypes& types) const;

    bool canProcessRequest(const url::URLRequest& request) const;
    // The rule of a class that names no test of its own anywhere up its chain: whether the
    // request's "Accept" header names one of the class's acceptable content types.
    static bool acceptHeaderMatches(const OperationClass& self, const url::URLRequest& request);

    std::shared_ptr<URLConnectionOperation> create(
        std::shared_ptr<const url::URLRequest> request) const;

private:
    const std::string name_;
    const OperationClass* const parent_;
    const Factory factory_;
    const RequestTest canProcess_;

    mutable std::mutex mutex_;
    mutable std::optional<std::optional<StatusCodes>> ownStatusCodes_;    // guarded by mutex_
    mutable std::optional<std::optional<ContentTypes>> ownContentTypes_;  // guarded by mutex_
};

}  // namespace net
