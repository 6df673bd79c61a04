#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/BlockOperation.h"
#include "platform/core/Object.h"
#include "platform/core/Operation.h"

namespace core {

// Runs operations as they become ready, up to a limit at a time, calling start() on workers
// of DispatchQueue::global(). It follows each operation only through its state
// announcements, so a dependency may sit in another queue or in none. It never holds its own
// lock while it calls into an operation. A queue with operations keeps itself alive until
// they have finished, so dropping the last reference to it does not strand them.
class OperationQueue : public Object {
public:
    // Leave the limit to the queue: effectively kDefaultConcurrencyLimit.
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;
    // Most operations of this system wait on the network, not the CPU; synchronous ones are
    // bounded by the worker pool whatever this says.
    static constexpr int kDefaultConcurrencyLimit = 64;

    enum class Wait { No, UntilFinished };

    static std::shared_ptr<OperationQueue> create(std::string name = {});
    ~OperationQueue() override;

    // False, and nothing changes, for null, an operation that has started or finished, or
    // one already added to a queue (this one or another).
    bool addOperation(const std::shared_ptr<Operation>& operation);
    // Adds what can be added; with Wait::UntilFinished returns once those have finished.
    // False if any could not be added.
    bool addOperations(const std::vector<std::shared_ptr<Operation>>& operations, Wait wait);
    std::shared_ptr<BlockOperation> addOperationWithBlock(Task block);

    // The operations added and not finished yet, in the order added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;

    int maxConcurrentOperationCount() const;
    // -1 (the default) or a count from 0; false, and nothing changes, for anything else.
    // Cancelled operations are started beyond the limit: they only need to finish.
    bool setMaxConcurrentOperationCount(int count);

    void cancelAllOperations();

    // A suspended queue starts nothing; what runs goes on.
    void setSuspended(bool suspended);
    bool isSuspended() const;

    // Blocks until every operation has finished. Never on the main thread in the app, which
    // must not wait for other threads.
    void waitUntilAllOperationsAreFinished();

    std::string name() const;
    void setName(std::string name);

    std::string description() const override;

private:
    friend class Operation;  // reports its changes
    struct Entry;

    explicit OperationQueue(std::string name);

    std::shared_ptr<OperationQueue> sharedThis();
    void operationChanged(const std::shared_ptr<Operation>& operation);
    void startReturned(const std::shared_ptr<Operation>& operation);
    void retire(const Operation& operation);
    void schedule();
    struct Candidate {
        std::shared_ptr<Operation> operation;
        bool cancelled;
    };
    // Keeps the candidates the queue may start now, and marks them started.
    void keepStartableLocked(std::vector<Candidate>& candidates);
    bool containsAnyLocked(const std::vector<std::shared_ptr<Operation>>& operations) const;
    int limitLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<Entry> entries_;  // guarded by mutex_; in the order added
    std::size_t started_ = 0;     // guarded by mutex_; entries started
    int maxConcurrent_ = kDefaultMaxConcurrentOperationCount;  // guarded by mutex_
    bool suspended_ = false;                                   // guarded by mutex_
    std::string name_;                                         // guarded by mutex_
    std::shared_ptr<OperationQueue>
        keepAlive_;  // guarded by mutex_; set while entries_ is not empty
};

}  // namespace core
