#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "net/operations/ParsedBody.h"
#include "net/operations/TypedRequestOperation.h"
#include "net/operations/XMLParser.h"
#include "platform/core/DispatchQueue.h"

namespace net {

// An HTTP request operation whose body is XML. It does not read the body itself: it hands
// the caller an event parser over it (std::shared_ptr<XMLParser> as the response object),
// which the caller gives a delegate and runs.
class XMLParserRequestOperation : public TypedRequestOperation {
public:
    using Parser = std::shared_ptr<XMLParser>;
    using Success = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const Parser& parser)>;
    using Failure = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const core::Error& error, const Parser& parser)>;

    static constexpr const char* kProcessingQueueLabel =
        "com.corvane.networking.xml-request.processing";

    static std::shared_ptr<XMLParserRequestOperation> create(const url::URLRequest& request);
    static std::shared_ptr<XMLParserRequestOperation> XMLParserRequestOperationWithRequest(
        const url::URLRequest& request, Success success, Failure failure);
    // Accepts "application/xml" and "text/xml"; claims URL paths ending in ".xml".
    static const OperationClass& staticClass();
    const OperationClass& operationClass() const override { return staticClass(); }
    static std::shared_ptr<core::DispatchQueue> processingQueue();

    // A parser over the finished, non-empty body, made once and not run; null before.
    Parser responseXMLParser() const;
    // An error a caller may record after running the parser; the operation sets none.
    std::shared_ptr<const core::Error> XMLError() const;
    void setXMLError(std::shared_ptr<const core::Error> error);
    std::shared_ptr<const core::Error> error() const override;

    // Also silences the parser: its delegate is cleared.
    void cancel() override;

protected:
    explicit XMLParserRequestOperation(const url::URLRequest& request);
    std::shared_ptr<core::DispatchQueue> bodyProcessingQueue() const override;
    std::any processedObject() const override;

private:
    ParsedBody<Parser> parser_;
    mutable std::mutex xmlMutex_;
    std::shared_ptr<const core::Error> xmlError_;  // guarded by xmlMutex_
};

}  // namespace net
