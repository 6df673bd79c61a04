#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "net/NetworkingErrors.h"
#include "net/operations/JSONRequestOperation.h"
#include "net/operations/ResponseParseError.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::ScriptedResponse;
using JSON = JSONRequestOperation::JSON;
using Outcome = testing::TypedOutcome<JSON>;

class JSONOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        serve("/list", 200, "[1,2]");
        serve("/object", 200, R"({"b":1,"a":[true,null,"x",2.5]})");
        serve("/broken", 200, "{not json");
        serve("/scalar", 200, "42");
        serve("/empty", 200, "");
        serve("/server-error", 500, R"({"reason":"down"})");
    }
    void serve(const std::string& path, int status, std::string body) {
        server_.route(path, [status, body](const auto&) {
            return ScriptedResponse::text(status, body, "application/json");
        });
    }
    std::shared_ptr<JSONRequestOperation> run(const std::string& path, Outcome& outcome) {
        auto operation = JSONRequestOperation::JSONRequestOperationWithRequest(
            testing::requestFor(server_.url(path)), outcome.success(), outcome.failure());
        operation->start();
        EXPECT_TRUE(outcome.wait());
        return operation;
    }

    LoopbackServer server_;
};

TEST_F(JSONOperationTest, AnArrayOrObjectBodyReachesTheSuccessBlockAsATreeAnEmptyOneAsNothing) {
    Outcome list;
    auto operation = run("/list", list);
    ASSERT_TRUE(list.succeeded);
    ASSERT_TRUE(list.parsed && list.parsed->isList());
    EXPECT_EQ(*list.parsed, core::Value(core::Value::List{1, 2}));
    EXPECT_EQ(operation->error(), nullptr);

    Outcome object;
    run("/object", object);
    ASSERT_TRUE(object.parsed && object.parsed->isMap());
    std::vector<std::string> keys;
    for (const auto& [key, value] : *object.parsed->asMap()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "a"}));  // document order
    EXPECT_EQ(*object.parsed->find("a"), core::Value(core::Value::List{true, nullptr, "x", 2.5}));

    Outcome empty;
    auto emptyOperation = run("/empty", empty);
    EXPECT_TRUE(empty.succeeded);
    EXPECT_EQ(empty.parsed, nullptr);
    EXPECT_EQ(emptyOperation->JSONError(), nullptr);
}

TEST_F(JSONOperationTest, ABodyThatIsNotJSONFailsWithTheParseErrorOnce) {
    for (const std::string path : {"/broken", "/scalar"}) {
        Outcome outcome;
        auto operation = run(path, outcome);
        ASSERT_TRUE(outcome.failed) << path;
        EXPECT_EQ(outcome.error->domain(), ResponseParseErrorDomain);
        EXPECT_EQ(outcome.parsed, nullptr);
        ASSERT_NE(operation->error(), nullptr);
        EXPECT_EQ(operation->error(), operation->JSONError());
        const auto firstError = operation->JSONError();
        EXPECT_EQ(operation->responseJSON(), nullptr);
        EXPECT_EQ(operation->JSONError(), firstError);  // not parsed again
    }
}

TEST_F(JSONOperationTest, AServerErrorFailsWithTheHTTPErrorAndPassesTheParsedBody) {
    Outcome outcome;
    run("/server-error", outcome);
    ASSERT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.error->domain(), NetworkingErrorDomain);
    ASSERT_NE(outcome.parsed, nullptr);
    EXPECT_EQ(*outcome.parsed->find("reason"), core::Value("down"));
}

TEST_F(JSONOperationTest, ACancelledOperationCallsNeitherBlock) {
    server_.route("/slow", [](const auto&) {
        auto response = ScriptedResponse::text(200, "[1]", "application/json");
        response.delayBeforeHeaders = std::chrono::milliseconds(300);
        return response;
    });
    Outcome outcome;
    auto operation = JSONRequestOperation::JSONRequestOperationWithRequest(
        testing::requestFor(server_.url("/slow")), outcome.success(), outcome.failure());
    operation->start();
    operation->cancel();
    ASSERT_TRUE(testing::waitUntilFinished(*operation));
    // Anything the completion queued to the main queue has run by now; give the processing
    // queue a turn as well before looking.
    std::atomic<bool> drained = false;  // set on the processing queue's thread
    JSONRequestOperation::processingQueue()->async([&drained] { drained.store(true); });
    ASSERT_TRUE(pumpUntil([&] { return drained.load(); }));
    ASSERT_TRUE(pumpUntil([] { return true; }));
    EXPECT_FALSE(outcome.done());
}

TEST(JSONOperationClassTest, ClaimsTheLowerCaseExtensionAndItsContentTypes) {
    const auto& json = JSONRequestOperation::staticClass();
    EXPECT_TRUE(json.canProcessRequest(testing::requestFor("http://h.test/a/b.json")));
    EXPECT_FALSE(json.canProcessRequest(testing::requestFor("http://h.test/a/b.JSON")));
    url::MutableURLRequest accepting(url::URL::create("http://h.test/a/b.JSON"));
    accepting.setValue("text/json", "Accept");
    EXPECT_TRUE(json.canProcessRequest(accepting));
    EXPECT_EQ(json.acceptableContentTypes(),
              (OperationClass::ContentTypes{"application/json", "text/json", "text/javascript"}));
}

TEST(JSONOperationClassTest, TheProcessingQueueIsMadeOnceUnderConcurrentFirstUse) {
    std::vector<std::shared_ptr<core::DispatchQueue>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = JSONRequestOperation::processingQueue(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::set(seen.begin(), seen.end()).size(), 1u);
    EXPECT_NE(seen.front(), nullptr);
}

}  // namespace
}  // namespace net
