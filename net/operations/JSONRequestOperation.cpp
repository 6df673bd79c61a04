#include "net/operations/JSONRequestOperation.h"

#include <simdjson.h>

#include <optional>
#include <utility>
#include <vector>

#include "net/operations/ResponseParseError.h"

namespace net {

namespace {

std::optional<core::Value> toValue(simdjson::dom::element element);

std::optional<core::Value> objectValue(simdjson::dom::object object) {
    core::Value::Map map;
    map.reserve(object.size());
    for (auto field : object) {
        auto value = toValue(field.value);
        if (!value) {
            return std::nullopt;
        }
        map.set(field.key, std::move(*value));
    }
    return core::Value(std::move(map));
}

std::optional<core::Value> arrayValue(simdjson::dom::array array) {
    core::Value::List list;
    list.reserve(array.size());
    for (auto item : array) {
        auto value = toValue(item);
        if (!value) {
            return std::nullopt;
        }
        list.push_back(std::move(*value));
    }
    return core::Value(std::move(list));
}

std::optional<core::Value> toValue(simdjson::dom::element element) {
    using Type = simdjson::dom::element_type;
    switch (element.type()) {
        case Type::OBJECT:
            return objectValue(element.get_object().value_unsafe());
        case Type::ARRAY:
            return arrayValue(element.get_array().value_unsafe());
        case Type::INT64:
            return core::Value(element.get_int64().value_unsafe());
        case Type::UINT64:
            // Beyond int64 the integer would wrap; a double keeps its magnitude.
            return core::Value(static_cast<double>(element.get_uint64().value_unsafe()));
        case Type::DOUBLE:
            return core::Value(element.get_double().value_unsafe());
        case Type::STRING:
            return core::Value(std::string_view(element.get_string().value_unsafe()));
        case Type::BOOL:
            return core::Value(element.get_bool().value_unsafe());
        case Type::NULL_VALUE:
            return core::Value();
    }
    return std::nullopt;
}

}  // namespace

core::Value parseJSONDocument(std::string_view text, std::shared_ptr<const core::Error>& error) {
    // One parser per thread keeps its buffers between bodies; bodies of a kind are read on
    // one serial queue, so in practice there is one.
    thread_local simdjson::dom::parser parser;
    const simdjson::padded_string padded(text);
    simdjson::dom::element root;
    if (auto code = parser.parse(padded).get(root); code != simdjson::SUCCESS) {
        error = std::make_shared<const core::Error>(
            responseParseError("The data is not valid JSON", simdjson::error_message(code)));
        return {};
    }
    if (!root.is_object() && !root.is_array()) {
        error = std::make_shared<const core::Error>(responseParseError(
            "The data is not valid JSON", "the top level is neither an object nor an array"));
        return {};
    }
    auto value = toValue(root);
    if (!value) {
        error = std::make_shared<const core::Error>(
            responseParseError("The data is not valid JSON", "an unknown kind of value"));
        return {};
    }
    error.reset();
    return std::move(*value);
}

const OperationClass& JSONRequestOperation::staticClass() {
    static const OperationClass descriptor(
        "JSONRequestOperation", &HTTPRequestOperation::staticClass(),
        [](std::shared_ptr<const url::URLRequest> request) {
            return std::shared_ptr<URLConnectionOperation>(new JSONRequestOperation(*request));
        },
        [](const OperationClass& self, const url::URLRequest& request) {
            // Case matters: ".JSON" is left to the Accept header.
            return (request.url() && request.url()->pathExtension() == "json") ||
                   OperationClass::acceptHeaderMatches(self, request);
        });
    static const bool defaults = [] {
        descriptor.setAcceptableContentTypes(
            OperationClass::ContentTypes{"application/json", "text/json", "text/javascript"});
        return true;
    }();
    (void)defaults;
    return descriptor;
}

std::shared_ptr<core::DispatchQueue> JSONRequestOperation::processingQueue() {
    static const auto queue = core::DispatchQueue::createSerial(kProcessingQueueLabel);
    return queue;
}

std::shared_ptr<JSONRequestOperation> JSONRequestOperation::create(const url::URLRequest& request) {
    return std::shared_ptr<JSONRequestOperation>(new JSONRequestOperation(request));
}

JSONRequestOperation::JSONRequestOperation(const url::URLRequest& request)
    : TypedRequestOperation(request) {
    staticClass();
}

std::shared_ptr<JSONRequestOperation> JSONRequestOperation::JSONRequestOperationWithRequest(
    const url::URLRequest& request, Success success, Failure failure) {
    auto operation = create(request);
    setRequestResponseBlocks(*operation, &JSONRequestOperation::responseJSON, std::move(success),
                             std::move(failure));
    return operation;
}

JSONRequestOperation::JSON JSONRequestOperation::responseJSON() const {
    return json_.get(*this, [](const auto& body, ParsedBody<JSON>::ErrorPtr& error) {
        core::Value parsed = parseJSONDocument(
            std::string_view(reinterpret_cast<const char*>(body->data()), body->size()), error);
        return error ? nullptr : std::make_shared<const core::Value>(std::move(parsed));
    });
}

std::shared_ptr<const core::Error> JSONRequestOperation::JSONError() const {
    return json_.error();
}

std::shared_ptr<const core::Error> JSONRequestOperation::error() const {
    if (auto parseError = JSONError()) {
        return parseError;
    }
    return HTTPRequestOperation::error();
}

std::shared_ptr<core::DispatchQueue> JSONRequestOperation::bodyProcessingQueue() const {
    return processingQueue();
}

std::any JSONRequestOperation::processedObject() const {
    return responseJSON();
}

}  // namespace net
