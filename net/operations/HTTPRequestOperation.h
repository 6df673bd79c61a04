#pragma once

#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/operations/URLConnectionOperation.h"
#include "platform/core/DispatchQueue.h"

namespace net {

// A URL connection operation that judges its answer as HTTP: status code and content type
// against the sets of its class (see OperationClass), an error of NetworkingErrorDomain for
// an answer it does not accept, resumption of a paused download with a byte range, and the
// outcome reported through a success or a failure block on a callback queue (the main queue
// unless set).
class HTTPRequestOperation : public URLConnectionOperation {
public:
    // The response object is the body (std::shared_ptr<const core::Bytes>) for this class;
    // subclasses hand their parsed object instead.
    using SuccessBlock = std::function<void(const std::shared_ptr<HTTPRequestOperation>& operation,
                                            const std::any& responseObject)>;
    using FailureBlock = std::function<void(const std::shared_ptr<HTTPRequestOperation>& operation,
                                            const core::Error& error)>;

    static std::shared_ptr<HTTPRequestOperation> create(const url::URLRequest& request);
    // Accepts the status codes 200-299 and every content type; claims every request.
    static const OperationClass& staticClass();
    const OperationClass& operationClass() const override { return staticClass(); }

    // The answer's status (200 when the answer is not HTTP) is one of the class's codes.
    bool hasAcceptableStatusCode() const;
    // The answer's MIME type ("application/octet-stream" when it has none) is one of the
    // class's types. Both are false before an answer arrived.
    bool hasAcceptableContentType() const;

    // The HTTP error, built once, when the answer is not acceptable; otherwise the
    // connection's error; null on success. An answer whose only fault is its content type
    // and whose body is empty counts as a success.
    std::shared_ptr<const core::Error> error() const override;

    // Asks the resumed request for the rest of the body: "Range" from what has been written,
    // "If-Range" from the answer's ETag. The request is rewritten in every state.
    void pause() override;

    // Installs the completion block that queues one of the two blocks (neither for a
    // cancelled operation). Either may be empty. The block holds the operation until it ran.
    virtual void setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure);

    // Not owned: whoever sets a queue keeps it alive until the blocks have run. Null (or a
    // queue that is gone) means the main queue.
    void setSuccessCallbackQueue(const std::shared_ptr<core::DispatchQueue>& queue);
    void setFailureCallbackQueue(const std::shared_ptr<core::DispatchQueue>& queue);
    std::shared_ptr<core::DispatchQueue> successCallbackQueue() const;
    std::shared_ptr<core::DispatchQueue> failureCallbackQueue() const;

    // From the latest answer: the length of the whole resource, and where the body of this
    // answer starts in it (0 for a complete answer).
    std::int64_t totalContentLength() const { return totalContentLength_.load(); }
    std::int64_t offsetContentLength() const { return offsetContentLength_.load(); }

    // A 206 answer whose byte range does not start where the request asked (its "Range", or
    // byte 0) fails the operation with BadServerResponse instead of being appended.
    void didReceiveResponse(url::URLConnection& connection,
                            const std::shared_ptr<const url::URLResponse>& response) override;

    // "200-299", "200-201,204,300": the codes as maximal runs, ascending.
    static std::string statusCodeRangesText(const OperationClass::StatusCodes& codes);

protected:
    explicit HTTPRequestOperation(const url::URLRequest& request);

    std::shared_ptr<core::DispatchQueue> queueForSuccess() const;
    std::shared_ptr<core::DispatchQueue> queueForFailure() const;

private:
    int effectiveStatusCode() const;
    std::shared_ptr<const core::Error> buildHTTPError() const;
    void restartBody();
    std::int64_t requestedRangeStart() const;
    core::Error misplacedRangeError(const std::string& contentRange) const;

    mutable std::mutex httpMutex_;
    mutable std::shared_ptr<const core::Error> httpError_;  // guarded by httpMutex_; built once
    std::weak_ptr<core::DispatchQueue> successQueue_;       // guarded by httpMutex_
    std::weak_ptr<core::DispatchQueue> failureQueue_;       // guarded by httpMutex_
    std::atomic<std::int64_t> totalContentLength_{0};
    std::atomic<std::int64_t> offsetContentLength_{0};
};

}  // namespace net
