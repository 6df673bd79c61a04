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

TEST(ThreadTest, ForeignThreadsGetALoopAndAThreadOnFirstUse) {
    bool distinct = false;
    std::thread foreign([&] {
        auto loop = RunLoop::current();
        distinct = loop != RunLoop::main() && loop == RunLoop::current() &&
                   Thread::current()->runLoop() == loop && !Thread::isMainThread();
    });
    foreign.join();
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

}  // namespace
}  // namespace core
