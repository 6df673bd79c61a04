#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "net/client/HTTPClient.h"
#include "platform/core/DispatchQueue.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::ScriptedResponse;

struct BatchLog {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::vector<std::string> events;
    std::size_t completedWith = 0;
    bool completed = false;
    bool completedOnMain = false;
};

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.route("/item", [](const auto&) { return ScriptedResponse::text(200, "item"); });
        server_.route("/missing", [](const auto&) { return ScriptedResponse::text(404, "no"); });
        client_ = HTTPClient::create(url::URL::create(server_.url("/")));
    }

    void run(const std::vector<std::string>& paths) {
        std::vector<url::URLRequest> requests;
        for (const auto& path : paths) {
            requests.push_back(client_->requestWithMethod("GET", path, std::nullopt));
        }
        client_->enqueueBatchOfHTTPRequestOperationsWithRequests(
            requests,
            [this](std::uint64_t finished, std::uint64_t total) {
                log_.progress.emplace_back(finished, total);
                log_.events.push_back("progress");
            },
            [this](const auto& operations) {
                log_.completedWith = operations.size();
                log_.completedOnMain =
                    core::DispatchQueue::current() == core::DispatchQueue::main();
                log_.completed = true;
                log_.events.push_back("completion");
            });
        ASSERT_TRUE(pumpUntil([this] { return log_.completed; }));
    }

    LoopbackServer server_;
    std::shared_ptr<HTTPClient> client_;
    BatchLog log_;
};

TEST_F(BatchTest, ThreeOperationsReportProgressThriceThenCompleteOnceAndNoneNever) {
    run({});
    EXPECT_TRUE(log_.progress.empty());
    EXPECT_EQ(log_.completedWith, 0u);
    EXPECT_TRUE(log_.completedOnMain);

    log_ = {};
    run({"/item", "/missing", "/item"});  // a failed request still counts as finished
    ASSERT_EQ(log_.progress.size(), 3u);
    EXPECT_EQ(log_.progress.back(), std::make_pair(std::uint64_t{3}, std::uint64_t{3}));
    for (const auto& [finished, total] : log_.progress) {
        EXPECT_GE(finished, 1u);
        EXPECT_EQ(total, 3u);
    }
    EXPECT_EQ(log_.events.back(), "completion");
    EXPECT_EQ(log_.completedWith, 3u);
    EXPECT_TRUE(log_.completedOnMain);
    EXPECT_EQ(server_.requestCount(), 3u);
}

TEST_F(BatchTest, TheOperationsOwnBlocksStillRunBeforeProgress) {
    std::vector<std::string> order;
    auto request = client_->requestWithMethod("GET", "/item", std::nullopt);
    auto operation = client_->HTTPRequestOperationWithRequest(
        request, [&order](const auto&, const auto&) { order.push_back("success"); }, nullptr);
    // The success block is queued on the main queue by the kept completion block, so it
    // runs after the progress call that the same task makes, but before the completion.
    bool completed = false;
    client_->enqueueBatchOfHTTPRequestOperations(
        {operation}, [&order](auto, auto) { order.push_back("progress"); },
        [&](const auto&) {
            order.push_back("completion");
            completed = true;
        });
    ASSERT_TRUE(pumpUntil([&] { return completed && order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"progress", "success", "completion"}));
}

}  // namespace
}  // namespace net
