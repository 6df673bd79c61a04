#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "net/client/HTTPClient.h"
#include "platform/core/BlockOperation.h"
#include "platform/core/DispatchGroup.h"

namespace net {

namespace {

using Operations = std::vector<std::shared_ptr<HTTPRequestOperation>>;

std::uint64_t finishedCount(const Operations& operations) {
    return static_cast<std::uint64_t>(
        std::count_if(operations.begin(), operations.end(),
                      [](const auto& operation) { return operation->isFinished(); }));
}

}  // namespace

void HTTPClient::enqueueBatchOfHTTPRequestOperations(const Operations& operations,
                                                     BatchProgressBlock progress,
                                                     BatchCompletionBlock completion) {
    auto group = core::DispatchGroup::create();
    // Shared by every per-operation task; each operation drops its completion block after it
    // ran, so the operations do not keep one another alive past the batch.
    auto batch = std::make_shared<const Operations>(operations);
    auto batchOperation = core::BlockOperation::create([group, batch, completion] {
        group->notify(core::DispatchQueue::main(), [batch, completion] {
            if (completion) {
                completion(*batch);
            }
        });
    });
    for (const auto& operation : operations) {
        core::Task original = operation->completionBlock();
        std::weak_ptr<HTTPRequestOperation> weakOperation = operation;
        operation->setCompletionBlock([group, batch, progress, original, weakOperation] {
            auto queue = core::DispatchQueue::main();
            if (auto strong = weakOperation.lock()) {
                if (auto own = strong->successCallbackQueue()) {
                    queue = std::move(own);
                }
            }
            queue->async([group, batch, progress, original] {
                if (original) {
                    original();
                }
                if (progress) {
                    progress(finishedCount(*batch), batch->size());
                }
                group->leave();
            });
        });
        group->enter();
        batchOperation->addDependency(operation);
        enqueueHTTPRequestOperation(operation);
    }
    queue_->addOperation(batchOperation);
}

void HTTPClient::enqueueBatchOfHTTPRequestOperationsWithRequests(
    const std::vector<url::URLRequest>& requests, BatchProgressBlock progress,
    BatchCompletionBlock completion) {
    Operations operations;
    operations.reserve(requests.size());
    for (const auto& request : requests) {
        operations.push_back(HTTPRequestOperationWithRequest(request, nullptr, nullptr));
    }
    enqueueBatchOfHTTPRequestOperations(operations, std::move(progress), std::move(completion));
}

}  // namespace net
