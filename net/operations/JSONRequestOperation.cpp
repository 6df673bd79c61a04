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
    : HTTPRequestOperation(request) {
    staticClass();
}

std::shared_ptr<JSONRequestOperation> JSONRequestOperation::JSONRequestOperationWithRequest(
    const url::URLRequest& request, Success success, Failure failure) {
    auto operation = create(request);
    SuccessBlock onSuccess;
    if (success) {
        onSuccess = [success = std::move(success)](const auto& self, const std::any& object) {
            success(self->request(), self->response(), std::any_cast<JSON>(object));
        };
    }
    FailureBlock onFailure;
    if (failure) {
        onFailure = [failure = std::move(failure)](const auto& self, const core::Error& error) {
            auto json = static_cast<const JSONRequestOperation&>(*self).responseJSON();
            failure(self->request(), self->response(), error, json);
        };
    }
    operation->setCompletionBlockWithSuccess(std::move(onSuccess), std::move(onFailure));
    return operation;
}

JSONRequestOperation::JSON JSONRequestOperation::responseJSON() const {
    std::lock_guard lock(jsonMutex_);
    if (json_ || jsonError_ || !isFinished()) {
        return json_;
    }
    auto body = responseData();
    if (!body || body->empty()) {
        return nullptr;
    }
    std::shared_ptr<const core::Error> error;
    core::Value parsed = parseJSONDocument(
        std::string_view(reinterpret_cast<const char*>(body->data()), body->size()), error);
    if (error) {
        jsonError_ = std::move(error);
    } else {
        json_ = std::make_shared<const core::Value>(std::move(parsed));
    }
    return json_;
}

std::shared_ptr<const core::Error> JSONRequestOperation::JSONError() const {
    std::lock_guard lock(jsonMutex_);
    return jsonError_;
}

std::shared_ptr<const core::Error> JSONRequestOperation::error() const {
    if (auto parseError = JSONError()) {
        return parseError;
    }
    return HTTPRequestOperation::error();
}

void JSONRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                         FailureBlock failure) {
    // The block holds the operation until it ran; the base clears it afterwards.
    auto self = std::static_pointer_cast<JSONRequestOperation>(shared_from_this());
    setCompletionBlock([self, success = std::move(success), failure = std::move(failure)] {
        if (self->isCancelled()) {
            return;
        }
        if (auto error = self->error()) {
            if (failure) {
                self->queueForFailure()->async([self, failure, error] { failure(self, *error); });
            }
            return;
        }
        processingQueue()->async([self, success, failure] {
            auto json = self->responseJSON();
            if (auto parseError = self->JSONError()) {
                if (failure) {
                    self->queueForFailure()->async(
                        [self, failure, parseError] { failure(self, *parseError); });
                }
            } else if (success) {
                self->queueForSuccess()->async([self, success, json] { success(self, json); });
            }
        });
    });
}

}  // namespace net
