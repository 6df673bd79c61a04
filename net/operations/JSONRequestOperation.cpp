#include "net/operations/JSONRequestOperation.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "net/operations/ResponseParseError.h"

namespace net {

namespace {

// Builds the value tree straight from parser events, without the parser's own tree.
class ValueBuilder : public nlohmann::json_sax<nlohmann::json> {
public:
    core::Value take() { return std::move(root_); }
    const std::string& failure() const { return failure_; }

    bool null() override { return add(core::Value()); }
    bool boolean(bool value) override { return add(core::Value(value)); }
    bool number_integer(number_integer_t value) override { return add(core::Value(value)); }
    bool number_unsigned(number_unsigned_t value) override {
        // Beyond int64 the integer would wrap; a double keeps its magnitude.
        if (value > static_cast<number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) {
            return add(core::Value(static_cast<double>(value)));
        }
        return add(core::Value(static_cast<std::int64_t>(value)));
    }
    bool number_float(number_float_t value, const string_t&) override {
        return add(core::Value(value));
    }
    bool string(string_t& value) override { return add(core::Value(std::move(value))); }
    bool binary(binary_t&) override { return fail("binary values are not JSON"); }
    bool start_object(std::size_t) override {
        open_.push_back({core::Value(core::Value::Map{}), {}});
        return true;
    }
    bool key(string_t& key) override {
        open_.back().key = std::move(key);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override {
        open_.push_back({core::Value(core::Value::List{}), {}});
        return true;
    }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& exception) override {
        return fail(exception.what());
    }

private:
    struct Open {
        core::Value container;
        std::string key;
    };

    bool add(core::Value value) {
        if (open_.empty()) {
            if (value.isLeaf()) {
                return fail("the top level is neither an object nor an array");
            }
            root_ = std::move(value);
        } else if (auto* list = open_.back().container.asList()) {
            list->push_back(std::move(value));
        } else {
            open_.back().container.asMap()->set(open_.back().key, std::move(value));
        }
        return true;
    }
    bool close() {
        core::Value done = std::move(open_.back().container);
        open_.pop_back();
        return add(std::move(done));
    }
    bool fail(std::string reason) {
        failure_ = std::move(reason);
        return false;
    }

    core::Value root_;
    std::vector<Open> open_;
    std::string failure_;
};

}  // namespace

core::Value parseJSONDocument(std::string_view text, std::shared_ptr<const core::Error>& error) {
    ValueBuilder builder;
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) {
        error = std::make_shared<const core::Error>(
            responseParseError("The data is not valid JSON", builder.failure()));
        return {};
    }
    error.reset();
    return builder.take();
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
