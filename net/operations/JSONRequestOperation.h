#pragma once

#include <functional>
#include <memory>

#include "net/operations/ParsedBody.h"
#include "net/operations/TypedRequestOperation.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/Value.h"

namespace net {

// An HTTP request operation whose body is JSON, read into a value tree (maps keep the order
// of the document). The tree is built once, on first demand, from the finished body; on
// completion that happens on a serial queue shared by every JSON operation, and the success
// block receives the tree (std::shared_ptr<const core::Value>, null for an empty body) as its
// response object.
class JSONRequestOperation : public TypedRequestOperation {
public:
    using JSON = std::shared_ptr<const core::Value>;
    using Success = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const JSON& json)>;
    // `json` is whatever the body yields at that moment: a 500 with a JSON body passes it.
    using Failure = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const core::Error& error, const JSON& json)>;

    static constexpr const char* kProcessingQueueLabel =
        "com.corvane.networking.json-request.processing";

    static std::shared_ptr<JSONRequestOperation> create(const url::URLRequest& request);
    // Not started. Either block may be empty.
    static std::shared_ptr<JSONRequestOperation> JSONRequestOperationWithRequest(
        const url::URLRequest& request, Success success, Failure failure);
    // Accepts "application/json", "text/json" and "text/javascript"; claims URL paths ending
    // in ".json" (exactly), otherwise requests whose Accept header names one of its types.
    static const OperationClass& staticClass();
    const OperationClass& operationClass() const override { return staticClass(); }
    static std::shared_ptr<core::DispatchQueue> processingQueue();

    // Null until the operation finished with a non-empty body, and when the body is not a
    // JSON object or array; a body is parsed at most once.
    JSON responseJSON() const;
    std::shared_ptr<const core::Error> JSONError() const;
    // The parse error if there is one, else the HTTP error.
    std::shared_ptr<const core::Error> error() const override;

protected:
    explicit JSONRequestOperation(const url::URLRequest& request);
    std::shared_ptr<core::DispatchQueue> bodyProcessingQueue() const override;
    std::any processedObject() const override;

private:
    ParsedBody<JSON> json_;
};

// Reads a JSON document whose top level is an object or an array; the error's text says
// why it failed. Exposed for benchmarks.
core::Value parseJSONDocument(std::string_view text, std::shared_ptr<const core::Error>& error);

}  // namespace net
