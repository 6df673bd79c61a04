#include <unistd.h>

#include <atomic>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using testing::pumpUntil;

// A thread that runs its loop until the test ends; stops and waits for it on destruction.
class LoopThread {
public:
    LoopThread() {
        thread_ = Thread::create(
            [this] {
                RunLoop::current()->runUntil([this] { return quit_.load(); },
                                             Clock::distantFuture());
                done_.store(true);
            },
            "test-loop");
        thread_->start();
    }
    ~LoopThread() {
        thread_->runLoop()->post([this] { quit_.store(true); });
        EXPECT_TRUE(pumpUntil([this] { return done_.load(); }));
    }
    std::shared_ptr<RunLoop> loop() const { return thread_->runLoop(); }

private:
    std::shared_ptr<Thread> thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> done_{false};
};

TEST(RunLoopCrossThread, PostsFromEachThreadRunInTheirOrder) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    auto main = RunLoop::main();
    std::vector<std::vector<int>> seen(kThreads);  // touched on the main thread only
    int received = 0;
    for (int t = 0; t < kThreads; ++t) {
        Thread::detach([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                main->post([&, t, i] {
                    seen[t].push_back(i);
                    ++received;
                });
            }
        });
    }
    ASSERT_TRUE(pumpUntil([&] { return received == kThreads * kPerThread; }));
    for (const auto& list : seen) {
        for (int i = 0; i < kPerThread; ++i) {
            ASSERT_EQ(list[i], i);
        }
    }
}

TEST(RunLoopCrossThread, WorkerWaitsOnMainWhileMainRunsItsLoop) {
    auto main = RunLoop::main();
    std::atomic<bool> workerDone{false};
    bool ranOnMain = false;  // written on main, read by the worker after its wait
    bool workerSawIt = false;
    Thread::detach([&] {
        bool ran = main->postAndWait([&] { ranOnMain = Thread::isMainThread(); });
        workerSawIt = ran && ranOnMain;
        workerDone.store(true);
    });
    ASSERT_TRUE(pumpUntil([&] { return workerDone.load(); }));
    EXPECT_TRUE(workerSawIt);
}

TEST(RunLoopCrossThread, WorkPostedBeforeTheThreadStartsRunsOnIt) {
    std::atomic<bool> ranThere{false};
    std::atomic<bool> done{false};
    auto thread = Thread::create([&] {
        RunLoop::current()->runUntil([&] { return ranThere.load(); }, Clock::distantFuture());
        done.store(true);
    });
    thread->runLoop()->post([&, loop = thread->runLoop()] { ranThere.store(loop->isCurrent()); });
    thread->start();
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
    EXPECT_TRUE(ranThere.load());
}

// Whether the thread has ended before the waiting post or ends with the task still queued,
// the waiter is released and told the task did not run.
TEST(RunLoopCrossThread, WaitingPostsToAThreadThatEndsAreDroppedAndReleased) {
    auto ended = Thread::create([] {});
    ended->start();
    ASSERT_TRUE(pumpUntil([&] { return ended->isFinished(); }));
    bool ran = false;
    EXPECT_FALSE(ended->runLoop()->postAndWait([&] { ran = true; }));
    EXPECT_FALSE(ran);

    std::atomic<bool> release{false};
    auto ending = Thread::create([&] {
        while (!release.load()) {
            std::this_thread::yield();  // a body that never runs its loop
        }
    });
    ending->start();
    std::atomic<int> result{-1};
    Thread::detach([&] { result.store(ending->runLoop()->postAndWait([] {}) ? 1 : 0); });
    release.store(true);
    ASSERT_TRUE(pumpUntil([&] { return result.load() != -1; }));
    EXPECT_EQ(result.load(), 0);
}

TEST(RunLoopCrossThread, StopFromAnotherThreadEndsRun) {
    std::atomic<bool> running{false};
    std::atomic<bool> returned{false};
    auto thread = Thread::create([&] {
        RunLoop::current()->post([&] { running.store(true); });
        RunLoop::current()->run();
        returned.store(true);
    });
    thread->start();
    ASSERT_TRUE(pumpUntil([&] { return running.load(); }));
    thread->runLoop()->stop();
    EXPECT_TRUE(pumpUntil([&] { return returned.load(); }));
}

TEST(RunLoopCrossThread, DescriptorWatchedFromAnotherThreadWakesTheLoop) {
    LoopThread worker;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::atomic<int> reads{0};
    auto id = worker.loop()->watchFileDescriptor(fds[0], FdEvents::Readable, [&](int fd, FdEvents) {
        char c;
        if (::read(fd, &c, 1) == 1) {
            reads.fetch_add(1);
        }
    });
    char c = 'x';
    ASSERT_EQ(::write(fds[1], &c, 1), 1);
    EXPECT_TRUE(pumpUntil([&] { return reads.load() == 1; }));
    worker.loop()->postAndWait([&] { worker.loop()->unwatchFileDescriptor(id); });
    ::close(fds[0]);
    ::close(fds[1]);
}

// Stands in for a shell's waiter: delegates to the default one and counts what it is asked.
class CountingWaiter : public RunLoopWaiter {
public:
    CountingWaiter(std::atomic<int>& waits, std::atomic<int>& wakes)
        : inner_(RunLoopWaiter::createDefault()), waits_(waits), wakes_(wakes) {}
    void wait(std::span<const Descriptor> descriptors, std::optional<Clock::Duration> timeout,
              std::vector<Descriptor>& ready) override {
        waits_.fetch_add(1);
        inner_->wait(descriptors, timeout, ready);
    }
    void wake() override {
        wakes_.fetch_add(1);
        inner_->wake();
    }

private:
    std::unique_ptr<RunLoopWaiter> inner_;
    std::atomic<int>& waits_;
    std::atomic<int>& wakes_;
};

TEST(RunLoopCrossThread, PluggedWaiterIsWhatTheLoopSleepsInAndIsWokenThrough) {
    std::atomic<int> waits{0};
    std::atomic<int> wakes{0};
    std::atomic<bool> quit{false};
    auto thread = Thread::create(
        [&] { RunLoop::current()->runUntil([&] { return quit.load(); }, Clock::distantFuture()); });
    thread->runLoop()->setWaiter(std::make_unique<CountingWaiter>(waits, wakes));
    thread->start();
    ASSERT_TRUE(thread->runLoop()->postAndWait([] {}));
    int wakesBefore = wakes.load();
    thread->runLoop()->post([&] { quit.store(true); });
    ASSERT_TRUE(pumpUntil([&] { return thread->isFinished(); }));
    EXPECT_GT(waits.load(), 0);
    EXPECT_GT(wakes.load(), wakesBefore);
}

TEST(RunLoopCrossThread, RoundTripsBetweenTwoThreadsKeepCount) {
    LoopThread worker;
    auto main = RunLoop::main();
    constexpr int kTrips = 2000;
    int trips = 0;
    std::function<void()> bounce = [&] {
        if (++trips < kTrips) {
            worker.loop()->post([&] { main->post(bounce); });
        }
    };
    worker.loop()->post([&] { main->post(bounce); });
    EXPECT_TRUE(pumpUntil([&] { return trips == kTrips; }));
}

}  // namespace
}  // namespace core
