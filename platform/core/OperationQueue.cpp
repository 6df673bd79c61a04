#include "platform/core/OperationQueue.h"

#include <algorithm>
#include <utility>

#include "platform/core/DispatchQueue.h"
#include "platform/core/DispatchQueuePrivate.h"

namespace core {

struct OperationQueue::Entry {
    std::shared_ptr<Operation> operation;
    bool started = false;  // counts against the limit from the decision to start it
};

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
    return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name)));
}

OperationQueue::OperationQueue(std::string name) : name_(std::move(name)) {}

OperationQueue::~OperationQueue() = default;

std::shared_ptr<OperationQueue> OperationQueue::sharedThis() {
    return std::static_pointer_cast<OperationQueue>(shared_from_this());
}

bool OperationQueue::addOperation(const std::shared_ptr<Operation>& operation) {
    if (!operation || operation->isExecuting() || operation->isFinished() ||
        !operation->claimForQueue(sharedThis())) {
        return false;
    }
    Entry entry{operation};
    {
        std::lock_guard lock(mutex_);
        if (entries_.empty()) {
            // Broken in retire() when the last operation has finished.
            keepAlive_ = sharedThis();
        }
        entries_.push_back(std::move(entry));
    }
    // Catches a change announced before the entry existed, and starts it if it is ready.
    operationChanged(operation);
    return true;
}

bool OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                                   Wait wait) {
    bool allAdded = true;
    for (const auto& operation : operations) {
        allAdded = addOperation(operation) && allAdded;
    }
    if (wait == Wait::UntilFinished) {
        detail::sendHeldWorkerWakeUp();
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return !containsAnyLocked(operations); });
    }
    return allAdded;
}

std::shared_ptr<BlockOperation> OperationQueue::addOperationWithBlock(Task block) {
    auto operation = BlockOperation::create(std::move(block));
    addOperation(operation);
    return operation;
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<Operation>> operations;
    for (const auto& entry : entries_) {
        operations.push_back(entry.operation);
    }
    return operations;
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return maxConcurrent_;
}

bool OperationQueue::setMaxConcurrentOperationCount(int count) {
    if (count < kDefaultMaxConcurrentOperationCount) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        maxConcurrent_ = count;
    }
    schedule();
    return true;
}

void OperationQueue::cancelAllOperations() {
    for (const auto& operation : operations()) {
        operation->cancel();
    }
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(mutex_);
        suspended_ = suspended;
    }
    if (!suspended) {
        schedule();
    }
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    detail::sendHeldWorkerWakeUp();
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return entries_.empty(); });
}

std::string OperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void OperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::string OperationQueue::description() const {
    std::string text = Object::description();
    text.pop_back();  // the closing '>'
    std::lock_guard lock(mutex_);
    return text + ", name: \"" + name_ + "\", operations: " + std::to_string(entries_.size()) +
           ", maxConcurrentOperationCount: " + std::to_string(maxConcurrent_) +
           (suspended_ ? ", suspended>" : ">");
}

void OperationQueue::operationChanged(const std::shared_ptr<Operation>& operation) {
    if (operation->isFinished()) {
        retire(*operation);
    }
    schedule();
}

// A start that did nothing (the operation was not ready after all) puts it back to wait for
// its next announcement; consistent operations are ready whenever they would accept start().
void OperationQueue::startReturned(const std::shared_ptr<Operation>& operation) {
    if (operation->isExecuting() || operation->isFinished()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.operation == operation; });
        if (it == entries_.end() || !it->started) {
            return;
        }
        it->started = false;
        --started_;
    }
    schedule();
}

void OperationQueue::retire(const Operation& operation) {
    std::shared_ptr<OperationQueue> keepAlive;
    Entry retired;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.operation.get() == &operation; });
        if (it == entries_.end()) {
            return;
        }
        retired = std::move(*it);
        entries_.erase(it);
        if (retired.started) {
            --started_;
        }
        if (entries_.empty()) {
            keepAlive = std::move(keepAlive_);
        }
    }
    retired.operation->leaveQueue();
    finished_.notify_all();
}

// Readiness is asked outside the lock; the decision is then made under it, against the
// entries as they are by then, so two threads scheduling at once start nothing twice.
void OperationQueue::schedule() {
    // One list, narrowed in place: waiting, then ready, then startable.
    std::vector<Candidate> candidates;
    {
        std::lock_guard lock(mutex_);
        if (suspended_) {
            return;
        }
        for (const auto& entry : entries_) {
            if (!entry.started) {
                candidates.push_back({entry.operation, false});
            }
        }
    }
    // Asked outside the queue's lock: an operation's state queries may be slow or may wait.
    std::erase_if(candidates, [](Candidate& candidate) {
        if (!candidate.operation->isReady()) {
            return true;
        }
        candidate.cancelled = candidate.operation->isCancelled();
        return false;
    });
    if (candidates.empty()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        keepStartableLocked(candidates);
    }
    std::weak_ptr<OperationQueue> weakQueue = sharedThis();
    for (auto& candidate : candidates) {
        Operation& target = *candidate.operation;
        target.dispatchStart([weakQueue, operation = std::move(candidate.operation)] {
            operation->start();
            if (auto queue = weakQueue.lock()) {
                queue->startReturned(operation);
            }
        });
    }
}

void OperationQueue::keepStartableLocked(std::vector<Candidate>& candidates) {
    if (suspended_) {
        candidates.clear();
        return;
    }
    const auto limit = static_cast<std::size_t>(limitLocked());
    std::erase_if(candidates, [&](const Candidate& candidate) {
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.operation == candidate.operation; });
        if (it == entries_.end() || it->started || (!candidate.cancelled && started_ >= limit)) {
            return true;
        }
        it->started = true;
        ++started_;
        return false;
    });
}

bool OperationQueue::containsAnyLocked(
    const std::vector<std::shared_ptr<Operation>>& operations) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return std::find(operations.begin(), operations.end(), e.operation) != operations.end();
    });
}

int OperationQueue::limitLocked() const {
    return maxConcurrent_ < 0 ? kDefaultConcurrencyLimit : maxConcurrent_;
}

}  // namespace core
