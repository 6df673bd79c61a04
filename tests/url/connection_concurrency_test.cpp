#include <gtest/gtest.h>

#include <atomic>

#include "platform/core/Thread.h"
#include "platform/url/URLConnection.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"
#include "tests/url/support/RecordingDelegate.h"

namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::RecordingDelegate;
using test::ScriptedResponse;

// A thread that runs its loop until told to stop, like the process's network thread.
class NetworkThread {
public:
    NetworkThread() {
        thread_ = core::Thread::create([this] {
            id_ = std::this_thread::get_id();
            running_ = true;
            core::RunLoop::current()->run();
        });
        thread_->start();
        EXPECT_TRUE(pumpUntil([this] { return running_.load(); }));
    }
    ~NetworkThread() {
        thread_->runLoop()->stop();
        EXPECT_TRUE(pumpUntil([this] { return thread_->isFinished(); }));
    }

    std::shared_ptr<core::RunLoop> loop() const { return thread_->runLoop(); }
    std::thread::id id() const { return id_; }

private:
    std::shared_ptr<core::Thread> thread_;
    std::atomic<bool> running_{false};
    std::thread::id id_;
};

class URLConnectionConcurrencyTest : public ::testing::Test {
protected:
    std::shared_ptr<url::URLConnection> startOnNetworkThread(
        const std::string& target, const std::shared_ptr<RecordingDelegate>& delegate) {
        auto connection =
            url::URLConnection::create(url::URLRequest(url::URL::create(server.url(target))),
                                       delegate, url::URLConnection::StartImmediately::No);
        connection->scheduleInRunLoop(network.loop(), core::RunLoop::kCommonModes);
        connection->start();
        return connection;
    }

    LoopbackServer server;
    NetworkThread network;
};

TEST_F(URLConnectionConcurrencyTest, ManyLoadsRunOnTheScheduledLoopsThread) {
    server.route("/item", [](const test::RecordedRequest& r) {
        return ScriptedResponse::text(200, "item " + r.target);
    });
    std::vector<std::shared_ptr<RecordingDelegate>> delegates;
    std::vector<std::shared_ptr<url::URLConnection>> connections;
    for (int i = 0; i < 12; ++i) {
        delegates.push_back(std::make_shared<RecordingDelegate>());
        connections.push_back(
            startOnNetworkThread("/item?n=" + std::to_string(i), delegates.back()));
    }

    ASSERT_TRUE(pumpUntil([&] {
        return std::all_of(delegates.begin(), delegates.end(),
                           [](const auto& d) { return d->ended(); });
    }));
    for (size_t i = 0; i < delegates.size(); ++i) {
        EXPECT_EQ(delegates[i]->body(), "item /item?n=" + std::to_string(i));
        EXPECT_EQ(delegates[i]->events().back(), "finish");
        for (auto id : delegates[i]->threads()) {
            EXPECT_EQ(id, network.id());
        }
    }
}

TEST_F(URLConnectionConcurrencyTest, CancelFromAnotherThreadEndsTheCallbacks) {
    ScriptedResponse slow = ScriptedResponse::text(200, std::string(8192, 's'));
    slow.chunked = true;
    slow.chunkSize = 512;
    slow.delayBetweenChunks = std::chrono::milliseconds(15);
    server.route("/slow", [=](const auto&) { return slow; });
    auto delegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> weakDelegate = delegate;

    auto connection = startOnNetworkThread("/slow", delegate);
    ASSERT_TRUE(pumpUntil([&] { return delegate->body().size() >= 512; }));
    connection->cancel();
    // The cancel was posted before this marker, so it has run once the marker has.
    network.loop()->postAndWait([] {});
    size_t callsAtCancel = delegate->callCount();
    ASSERT_TRUE(pumpUntil([&] { return server.responsesCompleted() == 1; }));
    network.loop()->postAndWait([] {});

    EXPECT_EQ(delegate->callCount(), callsAtCancel);
    EXPECT_NE(delegate->events().back(), "finish");
    EXPECT_FALSE(delegate->ended());
    delegate.reset();
    EXPECT_TRUE(weakDelegate.expired());  // the connection let go of its delegate
}

TEST(URLConnectionThreadEnd, ALoopThreadThatEndsMidLoadDropsItsTransfersQuietly) {
    LoopbackServer server;
    ScriptedResponse stalled = ScriptedResponse::text(200, "never");
    stalled.delayBeforeHeaders = std::chrono::seconds(20);
    server.route("/stalled", [=](const auto&) { return stalled; });
    auto delegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> weakDelegate = delegate;
    auto recorder = delegate.get();
    {
        NetworkThread network;
        auto connection =
            url::URLConnection::create(url::URLRequest(url::URL::create(server.url("/stalled"))),
                                       delegate, url::URLConnection::StartImmediately::No);
        connection->scheduleInRunLoop(network.loop(), core::RunLoop::kDefaultMode);
        connection->start();
        ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
    }
    EXPECT_EQ(recorder->callCount(), 0u);
    delegate.reset();
    // The ended thread's libcurl state goes with its thread-local storage, just after it.
    EXPECT_TRUE(pumpUntil([&] { return weakDelegate.expired(); }));
}

}  // namespace
