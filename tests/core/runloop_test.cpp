#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"
#include "tests/support/RunLoopTesting.h"

namespace core {
namespace {

using ::testing::ElementsAre;
using testing::pumpPending;
using testing::pumpUntil;

class Pipe {
public:
    Pipe() { EXPECT_EQ(::pipe(fds_), 0); }
    ~Pipe() {
        ::close(fds_[0]);
        closeWriteEnd();
    }
    void closeWriteEnd() { ::close(std::exchange(fds_[1], -1)); }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void write(char c) { ASSERT_EQ(::write(fds_[1], &c, 1), 1); }
    char read() {
        char c = 0;
        EXPECT_EQ(::read(fds_[0], &c, 1), 1);
        return c;
    }

private:
    int fds_[2] = {-1, -1};
};

TEST(RunLoopPost, RunsTasksLaterInOrderAndTheirOwnPostsAfterThoseAlreadyQueued) {
    auto loop = RunLoop::current();
    std::vector<std::string> order;
    loop->post([&] {
        order.push_back("first");
        loop->post([&] { order.push_back("posted by first"); });
    });
    for (const char* name : {"second", "third"}) {
        loop->post([&order, name] { order.push_back(name); });
    }
    EXPECT_TRUE(order.empty()) << "a post must never run inline";
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 4; }));
    EXPECT_THAT(order, ElementsAre("first", "second", "third", "posted by first"));
}

TEST(RunLoopModes, TaskForAnotherModeWaitsForThatModeAndKeepsOrder) {
    auto loop = RunLoop::current();
    const std::string tracking = "TrackingMode";
    std::vector<std::string> order;
    loop->post([&] { order.push_back("tracking 1"); }, tracking);
    loop->post([&] { order.push_back("default"); }, RunLoop::kDefaultMode);
    loop->post([&] { order.push_back("tracking 2"); }, tracking);
    pumpPending();
    EXPECT_THAT(order, ElementsAre("default"));

    EXPECT_EQ(loop->runInMode(tracking, Clock::TimePoint{}), RunLoop::RunResult::Handled);
    EXPECT_THAT(order, ElementsAre("default", "tracking 1", "tracking 2"));
}

TEST(RunLoopModes, CommonModesReachAnAddedCommonModeAndATaskForSeveralModesRunsOnce) {
    auto loop = RunLoop::current();
    const std::string modal = "ModalMode";
    int ran = 0;
    loop->post([&] { ++ran; });  // common modes
    EXPECT_EQ(loop->runInMode(modal, Clock::TimePoint{}), RunLoop::RunResult::TimedOut);
    EXPECT_EQ(ran, 0);

    loop->addCommonMode(modal);
    EXPECT_EQ(loop->runInMode(modal, Clock::TimePoint{}), RunLoop::RunResult::Handled);
    EXPECT_EQ(ran, 1);

    loop->post([&] { ++ran; }, std::vector<std::string>{"ModeA", RunLoop::kDefaultMode});
    pumpPending();
    EXPECT_EQ(loop->runInMode("ModeA", Clock::TimePoint{}), RunLoop::RunResult::TimedOut);
    EXPECT_EQ(ran, 2);
}

TEST(RunLoopRun, StopEndsTheRunningOrTheNextRun) {
    auto loop = RunLoop::current();
    int after = 0;
    loop->post([&] { loop->stop(); });
    loop->post([&] { ++after; });
    loop->run();
    EXPECT_EQ(after, 0) << "the stop takes effect before the next task";
    ASSERT_TRUE(pumpUntil([&] { return after == 1; }));

    loop->stop();
    EXPECT_EQ(loop->runInMode(RunLoop::kDefaultMode, Clock::distantFuture()),
              RunLoop::RunResult::Stopped);
}

TEST(RunLoopRun, RunUntilReturnsWhetherThePredicateHeld) {
    auto loop = RunLoop::current();
    bool flag = false;
    loop->post([&] { flag = true; });
    EXPECT_TRUE(loop->runUntil([&] { return flag; }, Clock::after(5.0)));
    EXPECT_FALSE(loop->runUntil([] { return false; }, Clock::after(0.01)));
}

TEST(RunLoopDeathTest, RunningAnotherThreadsLoopIsAContractBreach) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto thread = Thread::create([] {});
    EXPECT_DEATH(thread->runLoop()->run(), "off the loop's own thread");
}

TEST(RunLoopFd, CallbackRunsWhenReadableAndStopsAfterUnwatch) {
    auto loop = RunLoop::current();
    Pipe pipe;
    std::vector<char> received;
    auto id =
        loop->watchFileDescriptor(pipe.readEnd(), FdEvents::Readable, [&](int fd, FdEvents events) {
            EXPECT_EQ(fd, pipe.readEnd());
            EXPECT_TRUE(hasEvent(events, FdEvents::Readable));
            received.push_back(pipe.read());
        });
    ASSERT_NE(id, 0u);
    pumpPending();
    EXPECT_TRUE(received.empty());

    pipe.write('a');
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 1; }));
    pipe.write('b');
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 2; }));
    EXPECT_THAT(received, ElementsAre('a', 'b'));

    loop->unwatchFileDescriptor(id);
    pipe.write('c');
    pumpPending();
    EXPECT_EQ(received.size(), 2u);
}

TEST(RunLoopFd, UpdateSwitchesTheEventsWaitedForAndBadArgumentsAreRefused) {
    auto loop = RunLoop::current();
    Pipe pipe;
    int writable = 0;
    auto id = loop->watchFileDescriptor(pipe.writeEnd(), FdEvents::None, [&](int, FdEvents events) {
        if (hasEvent(events, FdEvents::Writable)) {
            ++writable;
        }
    });
    pumpPending();
    EXPECT_EQ(writable, 0);
    EXPECT_TRUE(loop->updateFileDescriptor(id, FdEvents::Writable));
    ASSERT_TRUE(pumpUntil([&] { return writable > 0; }));
    loop->unwatchFileDescriptor(id);
    EXPECT_FALSE(loop->updateFileDescriptor(id, FdEvents::Readable));
    EXPECT_EQ(loop->watchFileDescriptor(-1, FdEvents::Readable, [](int, FdEvents) {}), 0u);
    EXPECT_EQ(loop->watchFileDescriptor(0, FdEvents::Readable, nullptr), 0u);
}

TEST(RunLoopFd, CallbackMayUnwatchItself) {
    auto loop = RunLoop::current();
    Pipe pipe;
    int calls = 0;
    RunLoop::WatchId id = 0;
    id = loop->watchFileDescriptor(pipe.readEnd(), FdEvents::Readable, [&](int, FdEvents) {
        ++calls;
        loop->unwatchFileDescriptor(id);
    });
    pipe.write('x');
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    pumpPending();  // the byte is still unread; an unwatched source must stay silent
    EXPECT_EQ(calls, 1);
}

TEST(RunLoopFd, HangUpIsReportedAsError) {
    auto loop = RunLoop::current();
    Pipe pipe;
    FdEvents seen = FdEvents::None;
    auto id = loop->watchFileDescriptor(pipe.readEnd(), FdEvents::Readable,
                                        [&](int, FdEvents events) { seen = events; });
    pipe.closeWriteEnd();
    ASSERT_TRUE(pumpUntil([&] { return seen != FdEvents::None; }));
    EXPECT_TRUE(hasEvent(seen, FdEvents::Error) || hasEvent(seen, FdEvents::Readable));
    loop->unwatchFileDescriptor(id);
}

}  // namespace
}  // namespace core
