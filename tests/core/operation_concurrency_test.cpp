#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/BlockOperation.h"
#include "platform/core/Operation.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/RecursiveLock.h"

namespace core {
namespace {

constexpr auto kWatchdog = std::chrono::seconds(10);

// A count that tests wait on, with a watchdog deadline.
class Counter {
public:
    void increment() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool waitFor(int target) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWatchdog, [&] { return count_ >= target; });
    }
    int value() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Holds operations inside their work until the test opens it.
class Gate {
public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    bool pass() {
        std::unique_lock lock(mutex_);
        return opened_.wait_for(lock, kWatchdog, [&] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

template <typename Predicate>
bool eventually(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// A thread that runs posted tasks in order, standing in for the network thread.
class TaskThread {
public:
    TaskThread() : thread_([this] { run(); }) {}
    ~TaskThread() {
        post(nullptr);
        thread_.join();
    }
    void post(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    std::thread::id id() const { return thread_.get_id(); }

private:
    void run() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                posted_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            if (!task) {
                return;
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::thread thread_;
};

// An asynchronous operation built the way connection operations are: its own state under its
// own recursive lock, announced there; start() hands the work to another thread and returns.
class AsyncOperation : public Operation {
public:
    AsyncOperation(TaskThread& network, Gate& gate) : network_(network), gate_(gate) {}

    bool isConcurrent() const override { return true; }
    bool isReady() const override { return state_ == State::Ready && Operation::isReady(); }
    bool isExecuting() const override { return state_ == State::Executing; }
    bool isFinished() const override { return state_ == State::Finished; }
    bool isCancelled() const override { return cancelled_; }

    void start() override {
        std::lock_guard lock(lock_);
        if (!isReady()) {
            return;
        }
        setState(State::Executing);
        auto self = std::static_pointer_cast<AsyncOperation>(shared_from_this());
        network_.post([self] {
            if (!self->isCancelled()) {
                self->gate_.pass();
            }
            self->finishedOn = std::this_thread::get_id();
            self->setState(State::Finished);
        });
    }

    void cancel() override {
        std::lock_guard lock(lock_);
        if (isFinished() || isCancelled()) {
            return;
        }
        willChangeValueForKey(kIsCancelled);
        cancelled_ = true;
        Operation::cancel();
        didChangeValueForKey(kIsCancelled);
    }

    std::thread::id finishedOn;

private:
    enum class State { Ready, Executing, Finished };
    static const char* key(State state) {
        return state == State::Ready       ? kIsReady
               : state == State::Executing ? kIsExecuting
                                           : kIsFinished;
    }
    void setState(State to) {
        std::lock_guard lock(lock_);
        const State from = state_;
        willChangeValueForKey(key(to));
        willChangeValueForKey(key(from));
        state_ = to;
        didChangeValueForKey(key(from));
        didChangeValueForKey(key(to));
    }

    TaskThread& network_;
    Gate& gate_;
    RecursiveLock lock_;
    std::atomic<State> state_{State::Ready};
    std::atomic<bool> cancelled_{false};
};

std::shared_ptr<BlockOperation> gatedOperation(Gate& gate, Counter& ran) {
    return BlockOperation::create([&gate, &ran] {
        gate.pass();
        ran.increment();
    });
}

// Every completion task holds its operation, so once the operation is gone every completion
// that was ever scheduled for it has run.
bool destroyed(std::weak_ptr<Operation> operation) {
    return eventually([&] { return operation.expired(); });
}

TEST(OperationCompletionTest, RunsOnceOnAWorkerAfterTheOperationFinished) {
    Counter completions;
    std::atomic<bool> finishedWhenRun{false};
    std::thread::id completionThread;
    auto operation = BlockOperation::create([] {});
    std::weak_ptr<Operation> watch = operation;
    Operation* raw = operation.get();
    operation->setCompletionBlock([&, raw] {
        finishedWhenRun = raw->isFinished();
        completionThread = std::this_thread::get_id();
        completions.increment();
    });

    operation->start();
    operation->start();
    std::thread again([raw] { raw->didChangeValueForKey(Operation::kIsFinished); });
    raw->didChangeValueForKey(Operation::kIsFinished);
    again.join();
    operation.reset();  // the pending completion keeps it alive

    ASSERT_TRUE(destroyed(watch));
    EXPECT_EQ(completions.value(), 1);
    EXPECT_TRUE(finishedWhenRun);
    EXPECT_NE(completionThread, std::this_thread::get_id());
}

TEST(OperationCompletionTest, AsyncOperationCompletesAfterFinishingOnAnotherThread) {
    TaskThread network;
    Gate gate;
    Counter completions;
    auto operation = std::make_shared<AsyncOperation>(network, gate);
    std::weak_ptr<Operation> watch = operation;
    operation->setCompletionBlock([&] { completions.increment(); });

    operation->start();
    EXPECT_TRUE(operation->isExecuting());
    operation->start();
    EXPECT_EQ(completions.value(), 0);
    gate.open();
    ASSERT_TRUE(completions.waitFor(1));

    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(operation->finishedOn, network.id());
    operation.reset();
    ASSERT_TRUE(destroyed(watch));
    EXPECT_EQ(completions.value(), 1);
}

TEST(OperationQueueTest, RunsNoMoreThanTheLimitAtOnce) {
    auto queue = OperationQueue::create();
    ASSERT_TRUE(queue->setMaxConcurrentOperationCount(2));
    Gate gate;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    Counter done;
    for (int i = 0; i < 6; ++i) {
        queue->addOperationWithBlock([&] {
            const int now = ++running;
            peak = std::max(peak.load(), now);
            gate.pass();
            --running;
            done.increment();
        });
    }

    ASSERT_TRUE(eventually([&] { return running == 2; }));
    EXPECT_EQ(queue->operationCount(), 6u);
    gate.open();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_EQ(done.value(), 6);
    EXPECT_EQ(peak, 2);
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueueTest, LimitOfOneRunsOperationsInTheOrderAdded) {
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::shared_ptr<Operation>> operations;
    for (int i = 0; i < 8; ++i) {
        operations.push_back(BlockOperation::create([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
        }));
    }

    EXPECT_TRUE(queue->addOperations(operations, OperationQueue::Wait::UntilFinished));

    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(OperationQueueTest, WaitsForDependenciesInOtherQueuesAndInNone) {
    auto first = OperationQueue::create("first");
    auto second = OperationQueue::create("second");
    Gate gate;
    Counter ran;
    auto queued = gatedOperation(gate, ran);
    auto unqueued = BlockOperation::create([] {});
    std::atomic<bool> orderKept{true};
    auto afterQueued =
        BlockOperation::create([&] { orderKept = orderKept && queued->isFinished(); });
    auto afterUnqueued =
        BlockOperation::create([&] { orderKept = orderKept && unqueued->isFinished(); });
    afterQueued->addDependency(queued);
    afterUnqueued->addDependency(unqueued);

    second->addOperation(afterQueued);
    second->addOperation(afterUnqueued);
    first->addOperation(queued);
    EXPECT_EQ(second->operationCount(), 2u);

    unqueued->start();
    gate.open();
    second->waitUntilAllOperationsAreFinished();

    EXPECT_TRUE(afterQueued->isFinished());
    EXPECT_TRUE(afterUnqueued->isFinished());
    EXPECT_TRUE(orderKept);
}

TEST(OperationQueueTest, AsyncOperationHoldsItsSlotUntilItFinishes) {
    TaskThread network;
    Gate gate;
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    auto async = std::make_shared<AsyncOperation>(network, gate);
    std::atomic<bool> startedAfterAsyncFinished{false};
    auto next = BlockOperation::create([&] { startedAfterAsyncFinished = async->isFinished(); });

    queue->addOperation(async);
    queue->addOperation(next);
    ASSERT_TRUE(eventually([&] { return async->isExecuting(); }));
    EXPECT_FALSE(next->isExecuting() || next->isFinished());
    gate.open();
    queue->waitUntilAllOperationsAreFinished();

    EXPECT_TRUE(startedAfterAsyncFinished);
}

TEST(OperationQueueTest, CancelledOperationsFinishPromptlyAndComplete) {
    TaskThread network;
    Gate gate;
    Gate asyncGate;
    Counter ran;
    Counter completions;
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    auto blocker = gatedOperation(gate, ran);
    auto waitingForSlot = BlockOperation::create([&] { ran.increment(); });
    auto waitingForDependency = std::make_shared<AsyncOperation>(network, asyncGate);
    waitingForDependency->addDependency(BlockOperation::create([] {}));
    for (auto operation :
         std::vector<std::shared_ptr<Operation>>{blocker, waitingForSlot, waitingForDependency}) {
        operation->setCompletionBlock([&] { completions.increment(); });
        queue->addOperation(operation);
    }
    ASSERT_TRUE(eventually([&] { return blocker->isExecuting(); }));

    queue->cancelAllOperations();

    // Neither waits for the slot the blocker holds nor for a dependency that never runs.
    ASSERT_TRUE(completions.waitFor(2));
    EXPECT_TRUE(waitingForSlot->isFinished());
    EXPECT_TRUE(waitingForDependency->isFinished());
    EXPECT_EQ(queue->operations(), (std::vector<std::shared_ptr<Operation>>{blocker}));
    gate.open();
    queue->waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(completions.waitFor(3));
    EXPECT_EQ(ran.value(), 1);  // the blocker, which was cancelled while running
}

TEST(OperationQueueTest, SuspendedQueueStartsNothingUntilResumed) {
    auto queue = OperationQueue::create();
    auto witness = OperationQueue::create();
    queue->setSuspended(true);
    Counter ran;
    queue->addOperationWithBlock([&] { ran.increment(); });
    queue->addOperationWithBlock([&] { ran.increment(); });

    // Work on another queue gets through, so the workers are running.
    witness->addOperationWithBlock([] {});
    witness->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.value(), 0);
    EXPECT_TRUE(queue->isSuspended());

    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.value(), 2);
}

TEST(OperationQueueTest, KeepsRunningItsOperationsAfterTheLastReferenceIsDropped) {
    Gate gate;
    Counter ran;
    auto queue = OperationQueue::create();
    std::weak_ptr<OperationQueue> watch = queue;
    queue->setMaxConcurrentOperationCount(1);
    queue->addOperation(gatedOperation(gate, ran));
    queue->addOperationWithBlock([&] { ran.increment(); });

    queue.reset();
    EXPECT_FALSE(watch.expired());
    gate.open();

    ASSERT_TRUE(ran.waitFor(2));
    EXPECT_TRUE(eventually([&] { return watch.expired(); }));
}

TEST(OperationQueueTest, DependencyChainsAcrossQueuesAllCompleteOnce) {
    constexpr int kCount = 200;
    std::vector<std::shared_ptr<OperationQueue>> queues{OperationQueue::create(),
                                                        OperationQueue::create()};
    queues[0]->setMaxConcurrentOperationCount(3);
    Counter completions;
    std::atomic<int> outOfOrder{0};
    std::vector<std::shared_ptr<BlockOperation>> operations;
    for (int i = 0; i < kCount; ++i) {
        auto operation = BlockOperation::create();
        std::vector<std::shared_ptr<Operation>> dependencies;
        for (int back : {1, 7, 31}) {
            if (i >= back && (i + back) % 3 != 0) {
                dependencies.push_back(operations[i - back]);
            }
        }
        for (const auto& dependency : dependencies) {
            operation->addDependency(dependency);
        }
        operation->addExecutionBlock([dependencies, &outOfOrder] {
            for (const auto& dependency : dependencies) {
                outOfOrder += dependency->isFinished() ? 0 : 1;
            }
        });
        operation->setCompletionBlock([&] { completions.increment(); });
        operations.push_back(operation);
    }
    // Added back to front, so most operations arrive before what they wait for.
    for (int i = kCount - 1; i >= 0; --i) {
        queues[i % 2]->addOperation(operations[i]);
        if (i % 50 == 0) {
            operations[i + 1]->cancel();
        }
    }
    for (const auto& queue : queues) {
        queue->waitUntilAllOperationsAreFinished();
    }

    ASSERT_TRUE(completions.waitFor(kCount));
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_TRUE(std::all_of(operations.begin(), operations.end(),
                            [](const auto& operation) { return operation->isFinished(); }));
}

}  // namespace
}  // namespace core
