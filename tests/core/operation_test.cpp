#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/BlockOperation.h"
#include "platform/core/Operation.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"

namespace core {
namespace {

class CountingOperation : public Operation {
public:
    int mains = 0;
    void main() override { ++mains; }
};

// Records every announcement of the four state keys of one operation.
class Announcements {
public:
    explicit Announcements(Operation& operation) {
        for (const char* key : {Operation::kIsReady, Operation::kIsExecuting,
                                Operation::kIsFinished, Operation::kIsCancelled}) {
            tokens_.push_back(
                operation.addObserver(key, [this](const std::string& k, Observable::Phase p) {
                    calls.push_back((p == Observable::Phase::WillChange ? "will " : "did ") + k);
                }));
        }
    }
    std::vector<std::string> calls;

private:
    std::vector<ObserverToken> tokens_;
};

using Calls = std::vector<std::string>;

TEST(OperationTest, StartRunsMainOnceAndAnnouncesExecutingThenFinished) {
    auto operation = std::make_shared<CountingOperation>();
    Announcements announced(*operation);
    ASSERT_TRUE(operation->isReady());

    operation->start();
    operation->start();

    EXPECT_EQ(operation->mains, 1);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_FALSE(operation->isAsynchronous());
    EXPECT_EQ(announced.calls, (Calls{"will isExecuting", "did isExecuting", "will isFinished",
                                      "will isExecuting", "did isExecuting", "did isFinished"}));
}

TEST(OperationTest, BecomesReadyWhenTheLastDependencyFinishes) {
    auto operation = std::make_shared<CountingOperation>();
    auto first = std::make_shared<CountingOperation>();
    auto second = std::make_shared<CountingOperation>();
    operation->addDependency(first);
    operation->addDependency(second);
    operation->addDependency(second);
    operation->addDependency(operation);
    operation->addDependency(nullptr);
    Announcements announced(*operation);

    EXPECT_EQ(operation->dependencies(), (std::vector<std::shared_ptr<Operation>>{first, second}));
    EXPECT_FALSE(operation->isReady());
    operation->start();
    EXPECT_EQ(operation->mains, 0);

    first->start();
    EXPECT_FALSE(operation->isReady());
    second->start();
    EXPECT_TRUE(operation->isReady());
    EXPECT_EQ(announced.calls, (Calls{"will isReady", "did isReady"}));

    operation->start();
    EXPECT_EQ(operation->mains, 1);

    // Removed, an unfinished dependency no longer holds an operation back.
    auto later = std::make_shared<CountingOperation>();
    auto pending = std::make_shared<CountingOperation>();
    later->addDependency(pending);
    later->removeDependency(pending);
    EXPECT_TRUE(later->isReady());
}

TEST(OperationTest, CancelledOperationIsReadyAndFinishesWithoutRunningMain) {
    auto operation = std::make_shared<CountingOperation>();
    auto dependency = std::make_shared<CountingOperation>();
    operation->addDependency(dependency);
    Announcements announced(*operation);

    operation->cancel();
    operation->cancel();
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(operation->isReady());
    operation->start();

    EXPECT_EQ(operation->mains, 0);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(announced.calls,
              (Calls{"will isCancelled", "will isReady", "did isReady", "did isCancelled",
                     "will isExecuting", "did isExecuting", "will isFinished", "will isExecuting",
                     "did isExecuting", "did isFinished"}));

    operation->cancel();  // finished: nothing more to announce
    EXPECT_EQ(announced.calls.size(), 10u);
}

TEST(BlockOperationTest, CancelledOperationReleasesBlocksThatHoldIt) {
    auto operation = BlockOperation::create();
    std::weak_ptr<BlockOperation> watch = operation;
    bool ran = false;
    operation->addExecutionBlock([operation, &ran] { ran = true; });  // a cycle until it goes

    operation->cancel();
    operation->start();
    operation.reset();

    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
}

TEST(OperationQueueTest, RefusesOperationsItCannotRun) {
    auto queue = OperationQueue::create("uploads");
    auto other = OperationQueue::create();
    auto finished = std::make_shared<CountingOperation>();
    finished->start();
    auto waiting = std::make_shared<CountingOperation>();
    waiting->addDependency(std::make_shared<CountingOperation>());

    EXPECT_FALSE(queue->addOperation(nullptr));
    EXPECT_FALSE(queue->addOperation(finished));
    EXPECT_TRUE(queue->addOperation(waiting));
    EXPECT_FALSE(queue->addOperation(waiting));
    EXPECT_FALSE(other->addOperation(waiting));
    EXPECT_EQ(queue->operations(), (std::vector<std::shared_ptr<Operation>>{waiting}));
    EXPECT_EQ(other->operationCount(), 0u);

    EXPECT_FALSE(queue->setMaxConcurrentOperationCount(-2));
    EXPECT_EQ(queue->maxConcurrentOperationCount(),
              OperationQueue::kDefaultMaxConcurrentOperationCount);
    EXPECT_NE(queue->description().find("name: \"uploads\", operations: 1"), std::string::npos);

    // Cancelling lets the waiting operation finish, which lets the queue go.
    queue->cancelAllOperations();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(waiting->isFinished());
    EXPECT_EQ(waiting->mains, 0);
}

// An asynchronous operation whose state keys are derived from a key of its own, which is
// all it announces: the queue and the completion block must still follow it.
class PhasedOperation : public Operation {
public:
    void start() override {
        if (isReady()) {
            advance(1);
        }
    }
    void finish() { advance(2); }
    bool isExecuting() const override { return phase_ == 1; }
    bool isFinished() const override { return phase_ == 2; }
    bool isConcurrent() const override { return true; }

protected:
    std::vector<std::string> keysAffecting(const std::string& key) const override {
        if (key == kIsExecuting || key == kIsFinished) {
            return {"phase"};
        }
        return {};
    }

private:
    void advance(int to) {
        willChangeValueForKey("phase");
        phase_ = to;
        didChangeValueForKey("phase");
    }
    std::atomic<int> phase_{0};
};

TEST(OperationQueueTest, FollowsStateKeysDerivedFromAnOperationsOwnKeys) {
    auto queue = OperationQueue::create();
    auto operation = std::make_shared<PhasedOperation>();
    std::atomic<bool> completed{false};
    operation->setCompletionBlock([&] { completed = true; });
    auto follower = std::make_shared<CountingOperation>();
    follower->addDependency(operation);

    queue->addOperation(operation);
    queue->addOperation(follower);
    while (!operation->isExecuting()) {
        std::this_thread::yield();
    }
    EXPECT_EQ(queue->operationCount(), 2u);
    operation->finish();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_EQ(follower->mains, 1);
    while (!completed) {
        std::this_thread::yield();
    }
}

// Notes the thread its work ran on.
class ThreadNotingOperation : public Operation {
public:
    void main() override { ranOn = Thread::current(); }
    std::shared_ptr<Thread> ranOn;
};

// Has its start run on a thread of its own, as network operations do.
class OwnThreadOperation : public ThreadNotingOperation {
public:
    explicit OwnThreadOperation(std::shared_ptr<RunLoop> loop) : loop_(std::move(loop)) {}
    void dispatchStart(Task start) override { loop_->post(std::move(start)); }

private:
    std::shared_ptr<RunLoop> loop_;
};

TEST(OperationQueueTest, StartsEachOperationWhereItAsksToBeStarted) {
    std::atomic<bool> quit{false};
    auto thread = Thread::create([&quit] {
        RunLoop::current()->runUntil([&quit] { return quit.load(); }, Clock::distantFuture());
    });
    thread->start();
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);  // each start waits for the one before to end
    auto first = std::make_shared<OwnThreadOperation>(thread->runLoop());
    auto plain = std::make_shared<ThreadNotingOperation>();
    auto last = std::make_shared<OwnThreadOperation>(thread->runLoop());
    last->cancel();
    queue->addOperation(first);
    queue->addOperation(plain);
    queue->addOperation(last);
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_EQ(first->ranOn, thread);
    ASSERT_NE(plain->ranOn, nullptr);
    EXPECT_NE(plain->ranOn, thread);
    EXPECT_NE(plain->ranOn, Thread::current());
    EXPECT_TRUE(last->isFinished());
    EXPECT_EQ(last->ranOn, nullptr);
    thread->runLoop()->post([&quit] { quit = true; });
    while (!thread->isFinished()) {
        std::this_thread::yield();
    }
}

}  // namespace
}  // namespace core
