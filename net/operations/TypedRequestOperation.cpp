#include "net/operations/TypedRequestOperation.h"

namespace net {

void TypedRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                          FailureBlock failure) {
    // The block holds the operation until it ran; the base clears it afterwards.
    auto self = std::static_pointer_cast<TypedRequestOperation>(shared_from_this());
    Blocks blocks{std::move(success), std::move(failure)};
    setCompletionBlock([self, blocks = std::move(blocks)] {
        if (!self->isCancelled()) {
            self->bodyProcessingQueue()->async([self, blocks] { self->reportOutcome(blocks); });
        }
    });
}

void TypedRequestOperation::reportOutcome(const Blocks& blocks) {
    auto self = std::static_pointer_cast<TypedRequestOperation>(shared_from_this());
    std::any object = processedObject();
    // A refused answer is reported as such even when its body did not parse.
    auto error = HTTPRequestOperation::error();
    if (!error) {
        error = this->error();
    }
    if (error && blocks.failure) {
        queueForFailure()->async(
            [self, failure = blocks.failure, error] { failure(self, *error); });
    } else if (!error && blocks.success) {
        queueForSuccess()->async([self, success = blocks.success, object = std::move(object)] {
            success(self, object);
        });
    }
}

}  // namespace net
