#include "net/operations/OperationClass.h"

#include <map>
#include <utility>

#include "net/operations/URLConnectionOperation.h"
#include "platform/core/KeyedUnarchiver.h"
#include "platform/url/URLRequest.h"

namespace net {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, const OperationClass*, std::less<>> byName;  // guarded by mutex
};

Registry& registry() {
    static Registry* instance = new Registry;  // descriptors are static; so is their registry
    return *instance;
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

// The media ranges of an "Accept" value, without their parameters (quality and the like).
std::set<std::string> acceptedTypes(std::string_view accept) {
    std::set<std::string> types;
    while (!accept.empty()) {
        const auto comma = accept.find(',');
        std::string_view piece = accept.substr(0, comma);
        piece = piece.substr(0, piece.find(';'));
        piece = trim(piece);
        if (!piece.empty()) {
            types.emplace(piece);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        accept.remove_prefix(comma + 1);
    }
    return types;
}

}  // namespace

OperationClass::OperationClass(std::string name, const OperationClass* parent, Factory factory,
                               RequestTest canProcess)
    : name_(std::move(name)),
      parent_(parent),
      factory_(std::move(factory)),
      canProcess_(std::move(canProcess)) {
    {
        auto& classes = registry();
        std::lock_guard lock(classes.mutex);
        classes.byName.insert_or_assign(name_, this);
    }
    core::KeyedUnarchiver::registerClass(name_, [this](core::KeyedUnarchiver& coder) {
        return std::static_pointer_cast<core::Coding>(URLConnectionOperation::decode(coder, *this));
    });
}

const OperationClass* OperationClass::named(std::string_view name) {
    auto& classes = registry();
    std::lock_guard lock(classes.mutex);
    auto found = classes.byName.find(name);
    return found == classes.byName.end() ? nullptr : found->second;
}

bool OperationClass::isSubclassOf(const OperationClass& ancestor) const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        if (c == &ancestor) {
            return true;
        }
    }
    return false;
}

std::optional<OperationClass::StatusCodes> OperationClass::acceptableStatusCodes() const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        std::lock_guard lock(c->mutex_);
        if (c->ownStatusCodes_) {
            return *c->ownStatusCodes_;
        }
    }
    return std::nullopt;
}

std::optional<OperationClass::ContentTypes> OperationClass::acceptableContentTypes() const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        std::lock_guard lock(c->mutex_);
        if (c->ownContentTypes_) {
            return *c->ownContentTypes_;
        }
    }
    return std::nullopt;
}

bool OperationClass::acceptsStatusCode(int code) const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        std::lock_guard lock(c->mutex_);
        if (c->ownStatusCodes_) {
            return !*c->ownStatusCodes_ || (*c->ownStatusCodes_)->contains(code);
        }
    }
    return true;
}

bool OperationClass::acceptsContentType(const std::string& type) const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        std::lock_guard lock(c->mutex_);
        if (c->ownContentTypes_) {
            return !*c->ownContentTypes_ || (*c->ownContentTypes_)->contains(type);
        }
    }
    return true;
}

void OperationClass::setAcceptableStatusCodes(std::optional<StatusCodes> codes) const {
    std::lock_guard lock(mutex_);
    ownStatusCodes_ = std::move(codes);
}

void OperationClass::setAcceptableContentTypes(std::optional<ContentTypes> types) const {
    std::lock_guard lock(mutex_);
    ownContentTypes_ = std::move(types);
}

void OperationClass::addAcceptableStatusCodes(const StatusCodes& codes) const {
    StatusCodes merged = acceptableStatusCodes().value_or(StatusCodes{});
    merged.insert(codes.begin(), codes.end());
    setAcceptableStatusCodes(std::move(merged));
}

void OperationClass::addAcceptableContentTypes(const ContentTypes& types) const {
    ContentTypes merged = acceptableContentTypes().value_or(ContentTypes{});
    merged.insert(types.begin(), types.end());
    setAcceptableContentTypes(std::move(merged));
}

bool OperationClass::canProcessRequest(const url::URLRequest& request) const {
    for (const OperationClass* c = this; c != nullptr; c = c->parent_) {
        if (c->canProcess_) {
            return c->canProcess_(*this, request);
        }
    }
    return acceptHeaderMatches(*this, request);
}

bool OperationClass::acceptHeaderMatches(const OperationClass& self,
                                         const url::URLRequest& request) {
    const auto accept = request.valueForHTTPHeaderField("Accept");
    const auto acceptable = self.acceptableContentTypes();
    if (!accept || !acceptable) {
        return false;
    }
    for (const auto& type : acceptedTypes(*accept)) {
        if (acceptable->contains(type)) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<URLConnectionOperation> OperationClass::create(
    std::shared_ptr<const url::URLRequest> request) const {
    return factory_ ? factory_(std::move(request)) : nullptr;
}

}  // namespace net
