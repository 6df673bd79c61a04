#pragma once

#include <any>
#include <memory>
#include <utility>

#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/DispatchQueue.h"

namespace net {

// The common ground of the operations that hand their success block a parsed body (JSON,
// XML, property lists, images): the body is read on the kind's serial processing queue, never
// on the network thread or the callback queue, and the outcome is decided after that.
class TypedRequestOperation : public HTTPRequestOperation {
public:
    // Unless the operation was cancelled, reads the body on the processing queue; then the
    // failure block gets the HTTP error if there is one, else the operation's own error(), and
    // otherwise the success block gets the object read.
    void setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure) final;

protected:
    explicit TypedRequestOperation(const url::URLRequest& request)
        : HTTPRequestOperation(request) {}

    virtual std::shared_ptr<core::DispatchQueue> bodyProcessingQueue() const = 0;
    // Runs on the processing queue once the operation finished; the object for success.
    virtual std::any processedObject() const = 0;

    // The factories' blocks: success(request, response, object) and failure(request,
    // response, error, whatever `read` yields at that point).
    template <class Operation, class Object, class Success, class Failure>
    static void setRequestResponseBlocks(Operation& operation, Object (Operation::*read)() const,
                                         Success success, Failure failure) {
        SuccessBlock onSuccess;
        if (success) {
            onSuccess = [success = std::move(success)](const auto& self, const std::any& object) {
                success(self->request(), self->response(), std::any_cast<Object>(object));
            };
        }
        FailureBlock onFailure;
        if (failure) {
            onFailure = [failure = std::move(failure), read](const auto& self,
                                                             const core::Error& error) {
                const auto& typed = static_cast<const Operation&>(*self);
                failure(self->request(), self->response(), error, (typed.*read)());
            };
        }
        operation.setCompletionBlockWithSuccess(std::move(onSuccess), std::move(onFailure));
    }

private:
    struct Blocks {
        SuccessBlock success;
        FailureBlock failure;
    };

    // On the processing queue: reads the body and queues the block that applies.
    void reportOutcome(const Blocks& blocks);
};

}  // namespace net
