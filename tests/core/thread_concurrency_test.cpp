#include <atomic>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/Once.h"
#include "platform/core/RecursiveLock.h"
#include "platform/core/Thread.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::pumpUntil;

TEST(ThreadTest, TheTestBodyRunsOnTheMainThread) {
    EXPECT_TRUE(Thread::isMainThread());
    EXPECT_EQ(Thread::current()->runLoop(), RunLoop::main());
    EXPECT_EQ(RunLoop::current(), RunLoop::main());
    EXPECT_TRUE(RunLoop::main()->isCurrent());
}

TEST(ThreadTest, OnlyTheMainThreadCanNameItselfMainOnceDecided) {
    EXPECT_TRUE(Thread::markMainThread());
    std::atomic<int> other{-1};
    Thread::detach([&] { other.store(Thread::markMainThread() || Thread::isMainThread()); });
    ASSERT_TRUE(pumpUntil([&] { return other.load() != -1; }));
    EXPECT_EQ(other.load(), 0);
    EXPECT_TRUE(Thread::isMainThread());
}

TEST(ThreadTest, BodyRunsOnANewNamedThreadWithItsOwnLoop) {
    std::atomic<bool> done{false};
    bool onMain = true;
    std::string name;
    bool loopMatches = false;
    std::shared_ptr<Thread> thread;
    thread = Thread::create(
        [&] {
            onMain = Thread::isMainThread();
            name = Thread::current()->name();
            loopMatches = RunLoop::current() == Thread::current()->runLoop() &&
                          RunLoop::current() != RunLoop::main();
            done.store(true);
        },
        "upload-3");
    EXPECT_FALSE(thread->isStarted());
    EXPECT_TRUE(thread->start());
    EXPECT_FALSE(thread->start()) << "a thread starts once";
    ASSERT_TRUE(pumpUntil([&] { return done.load() && thread->isFinished(); }));
    EXPECT_FALSE(onMain);
    EXPECT_EQ(name, "upload-3");
    EXPECT_TRUE(loopMatches);
}

TEST(ThreadTest, DetachedThreadsRunAndEnd) {
    constexpr int kThreads = 8;
    std::atomic<int> ran{0};
    for (int i = 0; i < kThreads; ++i) {
        Thread::detach([&] { ran.fetch_add(1); });
    }
    EXPECT_TRUE(pumpUntil([&] { return ran.load() == kThreads; }));
}

TEST(ThreadTest, ForeignThreadsGetALoopAndAThreadOnFirstUse) {
    std::atomic<bool> done{false};
    bool distinct = false;
    std::thread foreign([&] {
        auto loop = RunLoop::current();
        distinct = loop != RunLoop::main() && loop == RunLoop::current() &&
                   Thread::current()->runLoop() == loop && !Thread::isMainThread();
        done.store(true);
    });
    foreign.join();
    EXPECT_TRUE(done.load());
    EXPECT_TRUE(distinct);
}

TEST(OnceTest, RunsExactlyOnceUnderContention) {
    constexpr int kThreads = 8;
    Once once;
    std::atomic<int> runs{0};
    std::atomic<int> sawDone{0};
    std::atomic<int> finished{0};
    std::atomic<bool> go{false};
    for (int i = 0; i < kThreads; ++i) {
        Thread::detach([&] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            once.call([&] { runs.fetch_add(1); });
            // Every caller returns only after the one run has completed.
            if (runs.load() == 1) {
                sawDone.fetch_add(1);
            }
            finished.fetch_add(1);
        });
    }
    go.store(true);
    ASSERT_TRUE(pumpUntil([&] { return finished.load() == kThreads; }));
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(sawDone.load(), kThreads);
    EXPECT_TRUE(once.hasRun());
}

TEST(RecursiveLockTest, OwnerMayTakeItAgainOthersMayNot) {
    RecursiveLock lock;
    lock.setName("com.corvane.networking.operation.lock");
    EXPECT_EQ(lock.name(), "com.corvane.networking.operation.lock");
    std::lock_guard outer(lock);
    {
        std::unique_lock inner(lock);
        EXPECT_TRUE(inner.owns_lock());
    }
    std::atomic<int> otherGot{-1};
    Thread::detach([&] {
        bool got = lock.tryLock();
        if (got) {
            lock.unlock();
        }
        otherGot.store(got ? 1 : 0);
    });
    ASSERT_TRUE(pumpUntil([&] { return otherGot.load() != -1; }));
    EXPECT_EQ(otherGot.load(), 0);
}

TEST(RecursiveLockTest, SerialisesCountersAcrossThreads) {
    RecursiveLock lock;
    long counter = 0;  // guarded by lock
    constexpr int kThreads = 4;
    constexpr int kIncrements = 2000;
    std::atomic<int> finished{0};
    for (int t = 0; t < kThreads; ++t) {
        Thread::detach([&] {
            for (int i = 0; i < kIncrements; ++i) {
                std::lock_guard outer(lock);
                std::lock_guard inner(lock);
                ++counter;
            }
            finished.fetch_add(1);
        });
    }
    ASSERT_TRUE(pumpUntil([&] { return finished.load() == kThreads; }));
    std::lock_guard guard(lock);
    EXPECT_EQ(counter, kThreads * kIncrements);
}

}  // namespace
}  // namespace core
