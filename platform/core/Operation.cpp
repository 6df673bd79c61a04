#include "platform/core/Operation.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "platform/core/DispatchQueue.h"
#include "platform/core/OperationQueue.h"

namespace core {

struct Operation::Dependency {
    std::shared_ptr<Operation> operation;
    ObserverToken finishedObservation;
};

Operation::Operation() = default;

// Any change may be the one that finishes the operation or makes it ready: a subclass may
// derive its state keys from keys of its own. Both checks are cheap when nothing changed.
void Operation::announced(const std::string&, Phase phase) {
    if (phase != Phase::DidChange) {
        return;
    }
    // The queue may drop the last other reference to this operation.
    auto self = std::static_pointer_cast<Operation>(weak_from_this().lock());
    if (!self) {
        return;
    }
    finishedChanged();
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(queueMutex_);
        queue = queue_.lock();
    }
    if (queue) {
        queue->operationChanged(self);
    }
}

bool Operation::claimForQueue(const std::shared_ptr<OperationQueue>& queue) {
    if (enqueued_.exchange(true)) {
        return false;
    }
    std::lock_guard lock(queueMutex_);
    queue_ = queue;
    return true;
}

void Operation::leaveQueue() {
    std::lock_guard lock(queueMutex_);
    queue_.reset();
}

Operation::~Operation() = default;

void Operation::start() {
    // main() may drop the caller's last reference through a captured pointer.
    auto protector = weak_from_this().lock();
    if (!isReady() || !changeState(State::Ready, State::Executing)) {
        return;
    }
    if (!isCancelled()) {
        main();
    }
    changeState(State::Executing, State::Finished);
}

void Operation::main() {}

void Operation::cancel() {
    std::lock_guard lock(stateLock_);
    if (cancelled_ || isFinished()) {
        return;
    }
    const bool becomesReady = !dependenciesFinished_;
    willChangeValueForKey(kIsCancelled);
    if (becomesReady) {
        willChangeValueForKey(kIsReady);
    }
    cancelled_ = true;
    if (becomesReady) {
        didChangeValueForKey(kIsReady);
    }
    didChangeValueForKey(kIsCancelled);
}

bool Operation::isReady() const {
    return dependenciesFinished_ || isCancelled();
}

bool Operation::isExecuting() const {
    return state_ == State::Executing;
}

bool Operation::isFinished() const {
    return state_ == State::Finished;
}

bool Operation::isCancelled() const {
    return cancelled_;
}

bool Operation::isConcurrent() const {
    return false;
}

const char* Operation::keyFor(State state) {
    switch (state) {
        case State::Ready:
            return kIsReady;
        case State::Executing:
            return kIsExecuting;
        case State::Finished:
            return kIsFinished;
    }
    return kIsReady;
}

// The only place that stores the state. Ready -> Executing -> Finished, nothing else.
bool Operation::changeState(State from, State to) {
    std::lock_guard lock(stateLock_);
    if (state_ != from) {
        return false;
    }
    const char* newKey = keyFor(to);
    const char* oldKey = keyFor(from);
    const bool announceOld = from != State::Ready;  // a started operation is still "ready"
    willChangeValueForKey(newKey);
    if (announceOld) {
        willChangeValueForKey(oldKey);
    }
    state_ = to;
    if (announceOld) {
        didChangeValueForKey(oldKey);
    }
    didChangeValueForKey(newKey);
    return true;
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
    assert(!weak_from_this().expired() && "dependencies need a shared_ptr-owned operation");
    if (!operation || operation.get() == this) {
        return;
    }
    auto weakSelf = weak_from_this();
    ObserverToken observation =
        operation->addObserver(kIsFinished, [weakSelf](const std::string&, Phase phase) {
            auto self = std::static_pointer_cast<Operation>(weakSelf.lock());
            if (self && phase == Phase::DidChange) {
                self->dependencyFinishedChanged();
            }
        });
    {
        std::lock_guard lock(dependenciesMutex_);
        const bool present =
            std::any_of(dependencies_.begin(), dependencies_.end(),
                        [&](const Dependency& d) { return d.operation == operation; });
        if (present) {
            return;  // the new observation is removed on the way out, outside the lock
        }
        dependencies_.push_back(Dependency{operation, std::move(observation)});
    }
    dependencyFinishedChanged();
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
    Dependency removed;
    {
        std::lock_guard lock(dependenciesMutex_);
        auto it = std::find_if(dependencies_.begin(), dependencies_.end(),
                               [&](const Dependency& d) { return d.operation == operation; });
        if (it == dependencies_.end()) {
            return;
        }
        removed = std::move(*it);
        dependencies_.erase(it);
    }
    removed.finishedObservation.remove();
    dependencyFinishedChanged();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
    std::lock_guard lock(dependenciesMutex_);
    std::vector<std::shared_ptr<Operation>> operations;
    for (const auto& dependency : dependencies_) {
        operations.push_back(dependency.operation);
    }
    return operations;
}

// Recomputed from scratch under the mutex, so concurrent finishes and added dependencies
// cannot leave a stale value behind. The announcement pair follows the store: observers
// read the new value when told it changed.
void Operation::dependencyFinishedChanged() {
    bool changed = false;
    {
        std::lock_guard lock(dependenciesMutex_);
        const bool finished =
            std::all_of(dependencies_.begin(), dependencies_.end(),
                        [](const Dependency& d) { return d.operation->isFinished(); });
        changed = dependenciesFinished_.exchange(finished) != finished;
    }
    if (changed) {
        willChangeValueForKey(kIsReady);
        didChangeValueForKey(kIsReady);
    }
}

void Operation::dispatchStart(Task start) {
    DispatchQueue::global()->async(std::move(start));
}

void Operation::setCompletionBlock(Task block) {
    std::lock_guard lock(completionMutex_);
    completionBlock_ = std::move(block);
}

Task Operation::completionBlock() const {
    std::lock_guard lock(completionMutex_);
    return completionBlock_;
}

void Operation::finishedChanged() {
    if (!isFinished() || completionFired_.exchange(true)) {
        return;
    }
    Task block;
    {
        std::lock_guard lock(completionMutex_);
        block = std::move(completionBlock_);
        completionBlock_ = nullptr;
    }
    if (!block) {
        return;
    }
    // Keeps the operation alive until its block has run, even if nobody else holds it.
    auto self = weak_from_this().lock();
    DispatchQueue::global()->async([self = std::move(self), block = std::move(block)] { block(); });
}

}  // namespace core
