// Callers on other threads asking for the parsed body while the processing queue reads it:
// the body is read once and everybody gets the same object (or the same error).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "net/operations/JSONRequestOperation.h"
#include "net/operations/PropertyListRequestOperation.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::ScriptedResponse;

constexpr int kReaders = 4;

// Runs `read` on kReaders threads until each sees a non-null result or the deadline passes,
// while the calling thread pumps the main loop until `done` holds.
template <class Result, class Read>
std::vector<Result> readWhilePumping(Read read, const std::function<bool()>& done) {
    std::vector<Result> seen(kReaders);
    std::atomic<int> finished{0};
    std::vector<std::thread> readers;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&, i] {
            while (!seen[i] && std::chrono::steady_clock::now() < deadline) {
                seen[i] = read();
                std::this_thread::yield();
            }
            finished.fetch_add(1);
        });
    }
    EXPECT_TRUE(pumpUntil([&] { return done() && finished.load() == kReaders; }));
    for (auto& reader : readers) {
        reader.join();
    }
    return seen;
}

class TypedConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string big = "[";
        for (int i = 0; i < 20000; ++i) {
            big += R"({"id":)" + std::to_string(i) + R"(,"name":"photo"},)";
        }
        big.back() = ']';
        server_.route("/big.json", [big](const auto&) {
            return ScriptedResponse::text(200, big, "application/json");
        });
        server_.route("/broken.plist", [](const auto&) {
            return ScriptedResponse::text(200, "<plist><dict><key>a", "application/x-plist");
        });
    }
    LoopbackServer server_;
};

TEST_F(TypedConcurrencyTest, ReadersRacingTheProcessingQueueShareOneTree) {
    std::atomic<bool> succeeded{false};
    JSONRequestOperation::JSON delivered;
    auto operation = JSONRequestOperation::JSONRequestOperationWithRequest(
        testing::requestFor(server_.url("/big.json")),
        [&](const auto&, const auto&, const JSONRequestOperation::JSON& json) {
            delivered = json;
            succeeded = true;
        },
        nullptr);
    operation->start();
    auto seen = readWhilePumping<JSONRequestOperation::JSON>(
        [&] { return operation->responseJSON(); }, [&] { return succeeded.load(); });
    ASSERT_NE(delivered, nullptr);
    EXPECT_EQ(delivered->asList()->size(), 20000u);
    for (const auto& json : seen) {
        EXPECT_EQ(json, delivered);
    }
}

TEST_F(TypedConcurrencyTest, ReadersRacingTheProcessingQueueShareOneError) {
    std::atomic<bool> failed{false};
    std::string reported;
    auto operation = PropertyListRequestOperation::propertyListRequestOperationWithRequest(
        testing::requestFor(server_.url("/broken.plist")), nullptr,
        [&](const auto&, const auto&, const core::Error& error, const auto& list) {
            EXPECT_EQ(list, nullptr);
            reported = error.localizedDescription();
            failed = true;
        });
    operation->start();
    auto seen = readWhilePumping<std::shared_ptr<const core::Error>>(
        [&] {
            operation->responsePropertyList();
            return operation->propertyListError();
        },
        [&] { return failed.load(); });
    const auto error = operation->propertyListError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(reported, error->localizedDescription());
    for (const auto& each : seen) {
        EXPECT_EQ(each, error);
    }
}

}  // namespace
}  // namespace net
