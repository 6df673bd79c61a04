#include "net/operations/TypedRequestOperation.h"

namespace net {

void TypedRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                          FailureBlock failure) {
    // Weak, so an operation made and dropped without being started is freed; once finished,
    // the completion dispatch holds it until this block has run.
    std::weak_ptr<TypedRequestOperation> weakSelf =
        std::static_pointer_cast<TypedRequestOperation>(shared_from_this());
    Blocks blocks{std::move(success), std::move(failure)};
    setCompletionBlock([weakSelf, blocks = std::move(blocks)] {
        auto self = weakSelf.lock();
        if (self && !self->isCancelled()) {
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
