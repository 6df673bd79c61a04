#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "net/client/HTTPClient.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using namespace std::chrono_literals;

// Many operations started, cancelled, paused and finishing at once from several threads:
// each ends, a cancelled one reports nothing and any other exactly one outcome.
TEST(OperationConcurrencyTest, ConcurrentStartCancelAndFinishEndEachOperationOnce) {
    test::LoopbackServer server;
    server.route("/fast", [](auto&) { return test::ScriptedResponse::text(200, "fast"); });
    server.route("/slow", [](auto&) {
        auto response = test::ScriptedResponse::text(200, std::string(8192, 's'));
        response.chunked = true;
        response.delayBetweenChunks = 1ms;
        return response;
    });
    constexpr int kThreads = 4;
    constexpr int kPerThread = 24;
    constexpr int kTotal = kThreads * kPerThread;
    std::vector<std::atomic<int>> outcomes(kTotal);
    std::vector<std::shared_ptr<HTTPRequestOperation>> all(kTotal);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const int index = t * kPerThread + i;
                auto operation = HTTPRequestOperation::create(
                    testing::requestFor(server.url(i % 2 == 0 ? "/slow" : "/fast")));
                auto& count = outcomes[index];
                operation->setCompletionBlockWithSuccess([&count](auto&, auto&) { ++count; },
                                                         [&count](auto&, auto&) { ++count; });
                all[index] = operation;
                operation->start();
                if (i % 3 == 0) {
                    operation->cancel();
                }
                if (i % 4 == 1) {
                    operation->pause();
                    operation->resume();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    auto settled = [&](int i) {
        return all[i]->isFinished() && (all[i]->isCancelled() || outcomes[i].load() == 1) &&
               all[i].use_count() == 1;  // the completion block has run and let go
    };
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (int i = 0; i < kTotal; ++i) {
                if (!settled(i)) {
                    return false;
                }
            }
            return true;
        },
        30.0));
    for (int i = 0; i < kTotal; ++i) {
        EXPECT_EQ(outcomes[i].load(), all[i]->isCancelled() ? 0 : 1) << "operation " << i;
    }
}

TEST(OperationConcurrencyTest, ClientsMadePerRequestFromManyThreadsAllComplete) {
    test::LoopbackServer server;
    server.route("/post", [](auto& r) { return test::ScriptedResponse::text(200, r.body); });
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                auto client = HTTPClient::create(url::URL::create(server.url("/")));
                client->postPath("/post", core::Value::Map{{"n", t * 100 + i}},
                                 [&](auto&, auto&) { ++succeeded; }, {});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_TRUE(pumpUntil([&] { return succeeded.load() == 40; }, 30.0));
    EXPECT_EQ(server.requestCount(), 40u);
}

}  // namespace
}  // namespace net
