#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/BlockOperation.h"
#include "platform/core/Operation.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/RecursiveLock.h"
#include "platform/core/Thread.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::pumpUntil;

constexpr auto kWatchdog = std::chrono::seconds(10);

// A count to wait on with a watchdog; raised once, it also serves as a gate.
class Signal {
public:
    void raise() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitFor(int target = 1) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWatchdog, [&] { return count_ >= target; });
    }
    int value() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Built the way connection operations are: its own state under its own recursive lock,
// announced there; start() hands the work to another thread, which finishes it later.
// Cancellation is the base class's.
class AsyncOperation : public Operation {
public:
    explicit AsyncOperation(Signal& gate) : gate_(gate) {}

    bool isConcurrent() const override { return true; }
    bool isReady() const override { return state_ == kIsReady && Operation::isReady(); }
    bool isExecuting() const override { return state_ == kIsExecuting; }
    bool isFinished() const override { return state_ == kIsFinished; }

    void start() override {
        std::lock_guard lock(lock_);
        if (!isReady()) {
            return;
        }
        setState(kIsExecuting);
        auto self = std::static_pointer_cast<AsyncOperation>(shared_from_this());
        Thread::detach([self] {
            if (!self->isCancelled()) {
                self->gate_.waitFor();
            }
            self->setState(kIsFinished);
        });
    }

private:
    void setState(const char* to) {
        std::lock_guard lock(lock_);
        const char* from = state_;
        willChangeValueForKey(to);
        willChangeValueForKey(from);
        state_ = to;
        didChangeValueForKey(from);
        didChangeValueForKey(to);
    }

    Signal& gate_;
    RecursiveLock lock_;
    std::atomic<const char*> state_{kIsReady};  // the key of the state
};

std::shared_ptr<BlockOperation> gatedOperation(Signal& gate, Signal& ran) {
    return BlockOperation::create([&gate, &ran] {
        gate.waitFor();
        ran.raise();
    });
}

TEST(OperationCompletionTest, RunsOnceOnAWorkerAfterFinishingEvenIfAnnouncedTwice) {
    Signal completions;
    std::atomic<bool> finishedWhenRun{false};
    std::atomic<bool> onWorker{false};
    auto operation = BlockOperation::create([] {});
    std::weak_ptr<Operation> watch = operation;
    Operation* raw = operation.get();
    const auto testThread = std::this_thread::get_id();
    operation->setCompletionBlock([&, raw] {
        finishedWhenRun = raw->isFinished();
        onWorker = std::this_thread::get_id() != testThread;
        completions.raise();
    });

    operation->start();
    std::thread again([raw] { raw->didChangeValueForKey(Operation::kIsFinished); });
    raw->didChangeValueForKey(Operation::kIsFinished);
    again.join();
    operation.reset();

    // Each scheduled completion holds the operation, so once it is gone all of them ran.
    ASSERT_TRUE(pumpUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions.value(), 1);
    EXPECT_TRUE(finishedWhenRun);
    EXPECT_TRUE(onWorker);
}

TEST(OperationQueueTest, AsyncOperationHoldsItsSlotUntilItFinishesOnAnotherThread) {
    Signal gate;
    Signal completions;
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    auto async = std::make_shared<AsyncOperation>(gate);
    async->setCompletionBlock([&] { completions.raise(); });
    std::atomic<bool> nextRanAfterAsync{false};
    auto next = BlockOperation::create([&] { nextRanAfterAsync = async->isFinished(); });

    queue->addOperation(async);
    queue->addOperation(next);
    ASSERT_TRUE(pumpUntil([&] { return async->isExecuting(); }));
    EXPECT_FALSE(next->isExecuting() || next->isFinished());
    gate.raise();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_TRUE(nextRanAfterAsync);
    ASSERT_TRUE(completions.waitFor(1));
    std::weak_ptr<Operation> watch = async;
    async.reset();
    ASSERT_TRUE(pumpUntil([&] { return watch.expired(); }));
    EXPECT_EQ(completions.value(), 1);
}

TEST(OperationQueueTest, StartsNothingWhileSuspendedAndThenNoMoreThanTheLimitAtOnce) {
    auto queue = OperationQueue::create();
    ASSERT_TRUE(queue->setMaxConcurrentOperationCount(2));
    queue->setSuspended(true);
    Signal gate;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    for (int i = 0; i < 6; ++i) {
        queue->addOperationWithBlock([&] {
            const int now = ++running;
            peak = std::max(peak.load(), now);
            gate.waitFor();
            --running;
        });
    }
    // Work on another queue gets through, so the workers are running.
    OperationQueue::create()->addOperations({BlockOperation::create([] {})},
                                            OperationQueue::Wait::UntilFinished);
    EXPECT_EQ(running, 0);

    queue->setSuspended(false);
    ASSERT_TRUE(pumpUntil([&] { return running == 2; }));
    EXPECT_EQ(queue->operationCount(), 6u);
    gate.raise();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_EQ(peak, 2);
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, CancelledOperationsFinishPromptlyAndComplete) {
    Signal gate;
    Signal ran;
    Signal completions;
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    Signal started;
    auto blocker = BlockOperation::create([&] {
        started.raise();
        gate.waitFor();
        ran.raise();
    });
    auto waitingForSlot = BlockOperation::create([&] { ran.raise(); });
    auto waitingForDependency = std::make_shared<AsyncOperation>(gate);
    waitingForDependency->addDependency(BlockOperation::create([] {}));
    for (auto operation :
         std::vector<std::shared_ptr<Operation>>{blocker, waitingForSlot, waitingForDependency}) {
        operation->setCompletionBlock([&] { completions.raise(); });
        queue->addOperation(operation);
    }
    // Executing is announced before the block begins, and a block cancelled before it
    // begins is skipped; so wait for the block itself.
    ASSERT_TRUE(started.waitFor());

    queue->cancelAllOperations();

    // Neither waits for the slot the blocker holds nor for a dependency that never runs.
    ASSERT_TRUE(completions.waitFor(2));
    ASSERT_TRUE(pumpUntil([&] { return queue->operationCount() == 1; }));
    EXPECT_EQ(queue->operations(), (std::vector<std::shared_ptr<Operation>>{blocker}));
    gate.raise();
    queue->waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(completions.waitFor(3));
    EXPECT_EQ(ran.value(), 1);  // only the blocker, cancelled while it ran
}

TEST(OperationQueueTest, KeepsRunningItsOperationsAfterTheLastReferenceIsDropped) {
    Signal gate;
    Signal ran;
    auto queue = OperationQueue::create();
    std::weak_ptr<OperationQueue> watch = queue;
    queue->setMaxConcurrentOperationCount(1);
    queue->addOperation(gatedOperation(gate, ran));
    queue->addOperationWithBlock([&] { ran.raise(); });

    queue.reset();
    gate.raise();

    ASSERT_TRUE(ran.waitFor(2));
    EXPECT_TRUE(pumpUntil([&] { return watch.expired(); }));
}

TEST(OperationQueueTest, DependencyChainsAcrossQueuesAndOnNoQueueAllCompleteOnceInOrder) {
    constexpr int kCount = 200;
    std::vector<std::shared_ptr<OperationQueue>> queues{OperationQueue::create(),
                                                        OperationQueue::create()};
    queues[0]->setMaxConcurrentOperationCount(3);
    Signal completions;
    std::atomic<int> outOfOrder{0};
    std::vector<std::shared_ptr<Operation>> operations(kCount);
    // Made and added back to front, so most operations arrive before what they wait for.
    for (int i = kCount - 1; i >= 0; --i) {
        operations[i] = BlockOperation::create([&, i] {
            for (const auto& dependency : operations[i]->dependencies()) {
                outOfOrder += dependency->isFinished() ? 0 : 1;
            }
        });
        for (int ahead : {1, 7, 31}) {
            if (i + ahead < kCount && (i + ahead) % 3 != 0) {
                operations[i + ahead]->addDependency(operations[i]);
            }
        }
        operations[i]->setCompletionBlock([&] { completions.raise(); });
    }
    // The first operation, and all that follow from it, wait for one in no queue, started last.
    auto unqueued = BlockOperation::create([] {});
    operations[0]->addDependency(unqueued);
    for (int i = kCount - 1; i >= 0; --i) {
        queues[i % 2]->addOperation(operations[i]);
    }
    operations[101]->cancel();
    unqueued->start();

    ASSERT_TRUE(completions.waitFor(kCount));
    EXPECT_EQ(outOfOrder, 0);
}

}  // namespace
}  // namespace core
