#include <atomic>
#include <functional>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/core/DispatchGroup.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Thread.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::pumpUntil;

// Bursts of async tasks with a sync one after every ninth: all run one at a time, in the
// order they were queued.
TEST(DispatchSerial, RunsAsyncAndSyncTasksOneAtATimeInOrder) {
    auto queue = DispatchQueue::createSerial("test.serial");
    constexpr int kTasks = 1000;
    std::vector<int> order;  // only touched by the queue's tasks
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < kTasks; ++i) {
        auto task = [&, i] {
            if (running.fetch_add(1) != 0) {
                overlapped.store(true);
            }
            order.push_back(i);
            running.fetch_sub(1);
        };
        if (i % 10 == 9) {
            queue->sync(task);
        } else {
            queue->async(task);
        }
    }
    queue->sync([&] {
        EXPECT_FALSE(overlapped.load());
        ASSERT_EQ(order.size(), static_cast<std::size_t>(kTasks));
        for (int i = 0; i < kTasks; ++i) {
            ASSERT_EQ(order[i], i);
        }
    });
}

TEST(DispatchSerial, SyncWaitsForEarlierTasksAndRunsOnTheCaller) {
    auto queue = DispatchQueue::createSerial("test.serial.sync");
    std::vector<int> order;
    std::atomic<bool> release{false};
    queue->async([&] {
        while (!release.load()) {
            std::this_thread::yield();
        }
        order.push_back(1);
    });
    queue->async([&] { order.push_back(2); });
    Thread::detach([&] { release.store(true); });
    bool onCaller = false;
    auto caller = Thread::current();
    queue->sync([&] {
        order.push_back(3);
        onCaller = Thread::current() == caller;
    });
    EXPECT_THAT(order, ::testing::ElementsAre(1, 2, 3));
    EXPECT_TRUE(onCaller);
}

TEST(DispatchSerial, SyncFromInsideItsOwnTaskRunsInline) {
    auto queue = DispatchQueue::createSerial("test.serial.reentrant");
    auto other = DispatchQueue::createSerial("test.serial.other");
    int steps = 0;
    bool stillCurrent = false;
    std::atomic<bool> finished{false};
    queue->async([&] {
        queue->sync([&] { ++steps; });
        // Through another queue and back: still this queue's own thread of control.
        other->sync([&] { queue->sync([&] { ++steps; }); });
        stillCurrent = DispatchQueue::current() == queue;
        finished.store(true);
    });
    ASSERT_TRUE(pumpUntil([&] { return finished.load(); }));
    EXPECT_EQ(steps, 2);
    EXPECT_TRUE(stillCurrent);
}

// A burst wakes one worker, and the pool must send more while tasks wait behind busy ones:
// tasks that each wait for all the others finish only if every one of them got a thread of
// its own. The second round finds the workers of the first asleep, so it depends on wake-ups
// alone.
TEST(DispatchConcurrent, EveryTaskOfABurstGetsAWorkerWhenEachBlocks) {
    constexpr int kTasks = 8;
    for (int round = 0; round < 2; ++round) {
        std::atomic<int> arrived{0};
        std::atomic<int> finished{0};
        for (int i = 0; i < kTasks; ++i) {
            DispatchQueue::global()->async([&] {
                arrived.fetch_add(1);
                while (arrived.load() < kTasks) {
                    std::this_thread::yield();
                }
                finished.fetch_add(1);
            });
        }
        ASSERT_TRUE(pumpUntil([&] { return finished.load() == kTasks; })) << "round " << round;
    }
}

// Tasks queued one at a time while earlier ones are still blocked, each from inside the task
// before it: a wake already in flight must not make the pool sit on a new task.
TEST(DispatchConcurrent, ATaskQueuedByABlockedTaskStillRuns) {
    constexpr int kDepth = 6;
    for (int round = 0; round < 2; ++round) {
        std::atomic<int> released{0};
        std::atomic<int> finished{0};
        std::function<void(int)> chain = [&](int level) {
            if (level < kDepth) {
                DispatchQueue::global()->async([&, level] { chain(level + 1); });
            } else {
                released.store(kDepth);
            }
            while (released.load() < level) {
                std::this_thread::yield();
            }
            finished.fetch_add(1);
        };
        DispatchQueue::global()->async([&] { chain(1); });
        ASSERT_TRUE(pumpUntil([&] { return finished.load() == kDepth; })) << "round " << round;
    }
}

// A thread whose loop batches worker wake-ups, running until it is told to quit.
std::shared_ptr<Thread> startBatchingLoop(std::atomic<bool>& quit) {
    auto thread = Thread::create([&quit] {
        RunLoop::current()->setBatchesWorkerWakeUps(true);
        RunLoop::current()->runUntil([&quit] { return quit.load(); }, Clock::distantFuture());
    });
    thread->start();
    return thread;
}

// A pass that queues work and ends: the loop goes back to sleep with nothing else to do, and
// every task it queued still runs.
TEST(DispatchHeldWakeUps, TasksQueuedInABatchingPassRunOnceThePassEnds) {
    std::atomic<bool> quit{false};
    auto thread = startBatchingLoop(quit);
    auto serial = DispatchQueue::createSerial("test.held.serial");
    for (int round = 0; round < 3; ++round) {
        std::atomic<int> ran{0};
        thread->runLoop()->post([&] {
            for (int i = 0; i < 20; ++i) {
                DispatchQueue::global()->async([&] { ran.fetch_add(1); });
            }
            for (int i = 0; i < 5; ++i) {
                serial->async([&] { ran.fetch_add(1); });
            }
        });
        ASSERT_TRUE(pumpUntil([&] { return ran.load() == 25; }))
            << "round " << round << ": " << ran.load() << " of 25 ran";
    }
    thread->runLoop()->post([&] { quit.store(true); });
    ASSERT_TRUE(pumpUntil([&] { return thread->isFinished(); }));
}

// A pass that blocks on work it has just queued, through each of the waits this layer
// offers: the held wake-up is sent before the pass blocks, or it would wait for ever.
TEST(DispatchHeldWakeUps, APassThatWaitsForWorkItQueuedIsNotStuck) {
    std::atomic<bool> quit{false};
    auto thread = startBatchingLoop(quit);
    std::atomic<int> waitsDone{0};
    thread->runLoop()->post([&] {
        auto group = DispatchGroup::create();
        group->async(DispatchQueue::global(), [] {});
        if (group->wait()) {
            waitsDone.fetch_add(1);
        }

        auto serial = DispatchQueue::createSerial("test.held.sync");
        bool earlierRan = false;
        serial->async([&] { earlierRan = true; });
        serial->sync([&] {
            if (earlierRan) {
                waitsDone.fetch_add(1);
            }
        });

        auto queue = OperationQueue::create("test.held.operations");
        std::atomic<bool> operationRan{false};
        queue->addOperationWithBlock([&] { operationRan.store(true); });
        queue->waitUntilAllOperationsAreFinished();
        if (operationRan.load()) {
            waitsDone.fetch_add(1);
        }
        quit.store(true);
    });
    EXPECT_TRUE(pumpUntil([&] { return waitsDone.load() == 3 && thread->isFinished(); }))
        << waitsDone.load() << " of 3 waits returned";
}

// Inline on the main thread itself; from a worker, once the main loop gets to it.
TEST(DispatchMain, SyncRunsOnTheMainThread) {
    bool ran = false;
    DispatchQueue::main()->sync([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(DispatchQueue::current(), DispatchQueue::main());

    std::atomic<bool> workerSaw{false};
    int value = 0;
    DispatchQueue::global()->async([&] {
        DispatchQueue::main()->sync([&] { value = Thread::isMainThread() ? 7 : -1; });
        workerSaw.store(value == 7);
    });
    EXPECT_TRUE(pumpUntil([&] { return workerSaw.load(); }));
}

TEST(DispatchGroupTest, NotifyRunsOnceEveryTaskHasFinished) {
    auto group = DispatchGroup::create();
    constexpr int kTasks = 50;
    std::atomic<int> done{0};
    int doneWhenNotified = -1;
    for (int i = 0; i < kTasks; ++i) {
        group->async(DispatchQueue::global(), [&] { done.fetch_add(1); });
    }
    group->notify(DispatchQueue::main(), [&] { doneWhenNotified = done.load(); });
    ASSERT_TRUE(pumpUntil([&] { return doneWhenNotified != -1; }));
    EXPECT_EQ(doneWhenNotified, kTasks);
}

TEST(DispatchGroupTest, WaitBlocksUntilLeaveAndTimesOutOtherwise) {
    auto group = DispatchGroup::create();
    group->enter();
    EXPECT_FALSE(group->wait(Clock::Duration(0.01)));
    std::atomic<bool> left{false};
    DispatchQueue::global()->async([&left, group] {
        left.store(true);
        group->leave();
    });
    EXPECT_TRUE(group->wait());
    EXPECT_TRUE(left.load());
}

}  // namespace
}  // namespace core
