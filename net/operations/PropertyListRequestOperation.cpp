#include "net/operations/PropertyListRequestOperation.h"

#include <plist/plist.h>

#include <cstring>
#include <limits>
#include <utility>

#include "net/operations/ResponseParseError.h"
#include "platform/core/BinaryPropertyListCheckPrivate.h"

namespace net {

namespace {

// Bounds for bodies from the network: libplist recurses per level and copies shared objects
// per reference.
constexpr int kMaxDepth = 512;
constexpr std::size_t kMaxNodes = 4'000'000;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

struct FreeString {
    void operator()(char* text) const { std::free(text); }
};
using OwnedString = std::unique_ptr<char, FreeString>;

std::optional<core::Value> toValue(plist_t node, int depth);

std::optional<core::Value> dictionaryValue(plist_t node, int depth) {
    core::Value::Map map;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &item);
        OwnedString key(rawKey);
        if (!item) {
            break;
        }
        auto value = toValue(item, depth + 1);
        if (!value || !key) {
            std::free(iterator);
            return std::nullopt;
        }
        map.set(key.get(), std::move(*value));
    }
    std::free(iterator);
    return core::Value(std::move(map));
}

std::optional<core::Value> arrayValue(plist_t node, int depth) {
    core::Value::List list;
    const std::uint32_t size = plist_array_get_size(node);
    list.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        auto value = toValue(plist_array_get_item(node, i), depth + 1);
        if (!value) {
            return std::nullopt;
        }
        list.push_back(std::move(*value));
    }
    return core::Value(std::move(list));
}

std::optional<core::Value> leafValue(plist_t node, plist_type type) {
    switch (type) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return core::Value(value != 0);
        }
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            // libplist keeps negative integers as their two's complement.
            return core::Value(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return core::Value(value);
        }
        case PLIST_STRING: {
            // By length: libplist's copying getter asserts that a string has no NUL in it.
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return core::Value(text ? std::string(text, length) : std::string());
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const auto* begin =
                reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
            return core::Value(begin ? core::Bytes(begin, begin + length) : core::Bytes());
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return core::Value(seconds + microseconds / 1e6);
        }
        case PLIST_UID: {
            std::uint64_t value = 0;
            plist_get_uid_val(node, &value);
            return core::Value(static_cast<std::int64_t>(value));
        }
        default:
            return std::nullopt;
    }
}

std::optional<core::Value> toValue(plist_t node, int depth) {
    if (!node || depth > kMaxDepth) {
        return std::nullopt;
    }
    const plist_type type = plist_get_node_type(node);
    if (type == PLIST_DICT) {
        return dictionaryValue(node, depth);
    }
    if (type == PLIST_ARRAY) {
        return arrayValue(node, depth);
    }
    return leafValue(node, type);
}

std::shared_ptr<const core::Error> failure(std::string_view detail) {
    return std::make_shared<const core::Error>(
        responseParseError("The data is not a valid property list", detail));
}

}  // namespace

core::Value parsePropertyList(const core::Bytes& bytes, PropertyListFormat& format,
                              std::shared_ptr<const core::Error>& error) {
    format = PropertyListFormat::Unknown;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        error = failure("too large");
        return {};
    }
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    const auto length = static_cast<std::uint32_t>(bytes.size());
    plist_t raw = nullptr;
    if (length >= 8 && plist_is_binary(data, length)) {
        if (!core::archive::isSafeBinaryPropertyList(bytes.data(), bytes.size(), kMaxDepth,
                                                     kMaxNodes)) {
            error = failure("the binary structure is out of bounds or too deep");
            return {};
        }
        plist_from_bin(data, length, &raw);
        format = PropertyListFormat::Binary;
    } else {
        // XML allows no NUL character, and libplist's reader cuts a string at one while keeping
        // its full length, so such a body would read back altered.
        if (length > 0 && std::memchr(data, 0, length) != nullptr) {
            error = failure("XML cannot hold a NUL character");
            return {};
        }
        plist_from_xml(data, length, &raw);
        format = PropertyListFormat::XML;
    }
    PlistNode root(raw);
    auto value = toValue(root.get(), 0);
    if (!value) {
        format = PropertyListFormat::Unknown;
        error = failure(root ? "unsupported or too deeply nested content" : "unreadable");
        return {};
    }
    error.reset();
    return std::move(*value);
}

const OperationClass& PropertyListRequestOperation::staticClass() {
    static const OperationClass descriptor(
        "PropertyListRequestOperation", &HTTPRequestOperation::staticClass(),
        [](std::shared_ptr<const url::URLRequest> request) {
            return std::shared_ptr<URLConnectionOperation>(
                new PropertyListRequestOperation(*request));
        },
        [](const OperationClass& self, const url::URLRequest& request) {
            return (request.url() && request.url()->pathExtension() == "plist") ||
                   OperationClass::acceptHeaderMatches(self, request);
        });
    static const bool defaults = [] {
        descriptor.setAcceptableContentTypes(OperationClass::ContentTypes{"application/x-plist"});
        return true;
    }();
    (void)defaults;
    return descriptor;
}

std::shared_ptr<core::DispatchQueue> PropertyListRequestOperation::processingQueue() {
    static const auto queue = core::DispatchQueue::createSerial(kProcessingQueueLabel);
    return queue;
}

std::shared_ptr<PropertyListRequestOperation> PropertyListRequestOperation::create(
    const url::URLRequest& request) {
    return std::shared_ptr<PropertyListRequestOperation>(new PropertyListRequestOperation(request));
}

PropertyListRequestOperation::PropertyListRequestOperation(const url::URLRequest& request)
    : TypedRequestOperation(request) {
    staticClass();
}

std::shared_ptr<PropertyListRequestOperation>
PropertyListRequestOperation::propertyListRequestOperationWithRequest(
    const url::URLRequest& request, Success success, Failure failure) {
    auto operation = create(request);
    setRequestResponseBlocks(*operation, &PropertyListRequestOperation::responsePropertyList,
                             std::move(success), std::move(failure));
    return operation;
}

PropertyListRequestOperation::PropertyList PropertyListRequestOperation::responsePropertyList()
    const {
    return read_
        .get(*this,
             [](const auto& body, ParsedBody<Read>::ErrorPtr& error) {
                 Read read;
                 core::Value parsed = parsePropertyList(*body, read.format, error);
                 if (!error) {
                     read.list = std::make_shared<const core::Value>(std::move(parsed));
                 }
                 return read;
             })
        .list;
}

PropertyListFormat PropertyListRequestOperation::propertyListFormat() const {
    return read_.current().format;
}

std::shared_ptr<const core::Error> PropertyListRequestOperation::propertyListError() const {
    return read_.error();
}

std::shared_ptr<const core::Error> PropertyListRequestOperation::error() const {
    if (auto parseError = propertyListError()) {
        return parseError;
    }
    return HTTPRequestOperation::error();
}

std::shared_ptr<core::DispatchQueue> PropertyListRequestOperation::bodyProcessingQueue() const {
    return processingQueue();
}

std::any PropertyListRequestOperation::processedObject() const {
    return responsePropertyList();
}

}  // namespace net
