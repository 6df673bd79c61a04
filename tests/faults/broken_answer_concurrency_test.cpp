// Many operations broken at once, on connections served by many proxy threads: each one's
// failure block runs exactly once and none reports success.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "net/operations/HTTPRequestOperation.h"
#include "tests/faults/FaultTesting.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"

namespace {

using Fault = test::FaultProxy::Fault;

TEST(BrokenAnswerConcurrency, EveryOperationOfABrokenBatchFailsExactlyOnce) {
    constexpr int kOperations = 16;
    test::LoopbackServer server;
    server.route("/ipad/stock/big.jpg", [](const test::RecordedRequest&) {
        return test::ScriptedResponse::text(200, faults::patternedBody(128 * 1024));
    });
    for (Fault fault : {Fault::Reset, Fault::CloseMidResponse}) {
        test::FaultProxy proxy(server.port(), {.fault = fault, .afterBytes = 30 * 1024});
        auto successes = std::make_shared<std::atomic<int>>(0);
        auto failures = std::make_shared<std::vector<std::atomic<int>>>(kOperations);
        std::vector<std::weak_ptr<net::HTTPRequestOperation>> watched;
        for (int i = 0; i < kOperations; ++i) {
            auto operation = net::HTTPRequestOperation::create(
                url::URLRequest(url::URL::create(proxy.url("/ipad/stock/big.jpg"))));
            operation->setCompletionBlockWithSuccess(
                [successes](const auto&, const std::any&) { ++*successes; },
                [failures, i](const auto&, const core::Error&) { ++(*failures)[i]; });
            operation->start();
            watched.push_back(operation);
        }
        auto allFailed = [&] {
            return std::all_of(failures->begin(), failures->end(),
                               [](const auto& count) { return count.load() > 0; });
        };
        ASSERT_TRUE(core::testing::pumpUntil(allFailed)) << "an operation never finished";
        core::testing::pumpPending();
        EXPECT_EQ(successes->load(), 0);
        for (int i = 0; i < kOperations; ++i) {
            EXPECT_EQ((*failures)[i].load(), 1) << "operation " << i;
        }
        EXPECT_TRUE(core::testing::pumpUntil([&] {
            return std::all_of(watched.begin(), watched.end(),
                               [](const auto& operation) { return operation.expired(); });
        })) << "finished operations are still held";
        EXPECT_EQ(proxy.faultsInjected(), kOperations);
    }
}

}  // namespace
