#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Object.h"
#include "platform/core/Observable.h"
#include "platform/core/ObserverToken.h"
#include "platform/core/RunLoop.h"

namespace core {

class OperationQueue;

// A unit of work with a life cycle: ready, executing, finished, plus a cancelled flag.
// Operations are always owned by std::shared_ptr (make them with std::make_shared or a
// create()); dependencies may be added once that is so.
//
// A synchronous operation overrides main(); start() runs it on the calling thread and
// finishes. An asynchronous one overrides start(), isConcurrent() and the state queries,
// keeps its state under its own lock, and announces each change of kIsReady, kIsExecuting,
// kIsFinished and kIsCancelled through Observable. The base class and OperationQueue learn
// of state changes only from those announcements: they are what makes dependents ready and
// what runs the completion block, so an operation that never announces kIsFinished never
// completes.
//
// The base class and the queue follow the announcements through Observable::announced(),
// ahead of any observer: a subclass that overrides it must call this class's version.
//
// Announcements are made on the thread that changes the state, while the operation holds its
// own lock; observers must not wait there for another thread that needs that lock. For the
// same reason the state queries must not take that lock: queues call them from inside other
// operations' announcements.
class Operation : public Object, public Observable {
public:
    static constexpr const char* kIsReady = "isReady";
    static constexpr const char* kIsExecuting = "isExecuting";
    static constexpr const char* kIsFinished = "isFinished";
    static constexpr const char* kIsCancelled = "isCancelled";

    ~Operation() override;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Runs main() if the operation is ready and has not started; a cancelled one finishes
    // without running it. Does nothing otherwise.
    virtual void start();
    // The work of a synchronous operation. Nothing by default.
    virtual void main();
    // Sets the cancelled flag once, unless the operation has finished. A cancelled operation
    // is ready whatever its dependencies, so that whoever runs it starts it and it finishes.
    virtual void cancel();

    // True once every dependency has finished, or once cancelled.
    virtual bool isReady() const;
    virtual bool isExecuting() const;
    virtual bool isFinished() const;
    virtual bool isCancelled() const;
    virtual bool isConcurrent() const;
    bool isAsynchronous() const { return isConcurrent(); }

    // The dependency is kept alive by this operation. Adding this operation itself, null or
    // an operation already present changes nothing.
    void addDependency(const std::shared_ptr<Operation>& operation);
    void removeDependency(const std::shared_ptr<Operation>& operation);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    // How a queue has start() called: on a worker of DispatchQueue::global(). An operation
    // whose start() only passes its work on to a thread of its own may post `start` to that
    // thread instead, which spares every start a hop through a worker and a wake-up.
    virtual void dispatchStart(Task start);

    // Runs once, after the operation has announced that it finished, on a worker of
    // DispatchQueue::global(); it is released after it ran. A block set after that point does
    // not run. The operation stays alive until the block has run.
    virtual void setCompletionBlock(Task block);
    Task completionBlock() const;

protected:
    Operation();

    void announced(const std::string& key, Phase phase) override;

private:
    enum class State { Ready, Executing, Finished };
    struct Dependency;
    friend class OperationQueue;

    static const char* keyFor(State state);
    bool changeState(State from, State to);
    void dependencyFinishedChanged();
    void finishedChanged();

    // Claimed once by the queue the operation is added to, which hears of every change from
    // then until it lets go.
    bool claimForQueue(const std::shared_ptr<OperationQueue>& queue);
    void leaveQueue();

    mutable std::recursive_mutex stateLock_;  // held for state changes and their announcements
    std::atomic<State> state_{State::Ready};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> enqueued_{false};

    mutable std::mutex dependenciesMutex_;
    std::vector<Dependency> dependencies_;          // guarded by dependenciesMutex_
    std::atomic<bool> dependenciesFinished_{true};  // written under dependenciesMutex_

    mutable std::mutex completionMutex_;
    Task completionBlock_;  // guarded by completionMutex_
    std::atomic<bool> completionFired_{false};
    mutable std::mutex queueMutex_;
    std::weak_ptr<OperationQueue> queue_;  // guarded by queueMutex_
};

}  // namespace core
