#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "net/NetworkingErrors.h"
#include "net/operations/HTTPRequestOperation.h"
#include "platform/url/HTTPURLResponse.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using namespace std::chrono_literals;
using testing::requestFor;
using testing::waitUntilFinished;

// A typed operation as later subclasses make them: its own content types, inherited rules.
class JSONishOperation : public HTTPRequestOperation {
public:
    static const OperationClass& staticClass() {
        static const OperationClass descriptor(
            "JSONishOperation", &HTTPRequestOperation::staticClass(), [](auto request) {
                return std::shared_ptr<URLConnectionOperation>(new JSONishOperation(*request));
            });
        static const bool types = [] {
            descriptor.setAcceptableContentTypes(OperationClass::ContentTypes{"application/json"});
            return true;
        }();
        (void)types;
        return descriptor;
    }
    const OperationClass& operationClass() const override { return staticClass(); }

private:
    using HTTPRequestOperation::HTTPRequestOperation;
};

// What the blocks received. The sentinel is held by both blocks: once it is gone, the
// completion block has run and been released, and nothing more can arrive.
struct Outcome {
    std::shared_ptr<int> sentinel = std::make_shared<int>(0);
    std::weak_ptr<int> watch = sentinel;
    std::optional<core::Error> error;
    std::shared_ptr<const core::Bytes> body;
    bool succeeded = false;
    std::shared_ptr<core::DispatchQueue> successQueue;
    // The sentinel's expiry is seen through a relaxed count, which orders nothing; the blocks
    // write under this lock and settle() takes it, so their writes come before the reads.
    std::mutex written;

    void attach(HTTPRequestOperation& operation) {
        operation.setCompletionBlockWithSuccess(
            [this, keep = sentinel](auto&, const std::any& object) {
                std::lock_guard lock(written);
                succeeded = true;
                body = std::any_cast<std::shared_ptr<const core::Bytes>>(object);
                successQueue = core::DispatchQueue::current();
            },
            [this, keep = sentinel](auto&, const core::Error& e) {
                std::lock_guard lock(written);
                error = e;
            });
        sentinel.reset();
    }
    bool settle() {
        bool settled = pumpUntil([this] { return watch.expired(); });
        std::lock_guard lock(written);
        return settled;
    }
};

class HTTPRequestOperationTest : public ::testing::Test {
protected:
    std::shared_ptr<HTTPRequestOperation> run(const std::string& path, Outcome& outcome) {
        auto operation = HTTPRequestOperation::create(requestFor(server.url(path)));
        outcome.attach(*operation);
        operation->start();
        EXPECT_TRUE(outcome.settle());
        return operation;
    }
    test::LoopbackServer server;
};

TEST_F(HTTPRequestOperationTest, ANotFoundAnswerFailsWithTheStatusError) {
    server.route("/gone", [](auto&) { return test::ScriptedResponse::text(404, "no such order"); });
    Outcome outcome;
    auto operation = run("/gone", outcome);
    ASSERT_TRUE(outcome.error);
    EXPECT_FALSE(outcome.succeeded);
    const core::Error& error = *outcome.error;
    EXPECT_EQ(error.domain(), NetworkingErrorDomain);
    EXPECT_EQ(error.code(), -1011);
    EXPECT_EQ(error.localizedDescription(), "Expected status code in (200-299), got 404");
    EXPECT_EQ(error.localizedRecoverySuggestion(), "no such order");
    EXPECT_EQ(error.failingURL(), server.url("/gone"));
    EXPECT_EQ(error.object(NetworkingOperationFailingURLRequestErrorKey), operation->request());
    EXPECT_EQ(error.object(NetworkingOperationFailingURLResponseErrorKey), operation->response());
    EXPECT_EQ(operation->error().get(), operation->error().get());  // built once
    EXPECT_EQ(HTTPRequestOperation::statusCodeRangesText({200, 201, 204, 300}), "200-201,204,300");
    EXPECT_EQ(HTTPRequestOperation::statusCodeRangesText({}), "");
}

TEST_F(HTTPRequestOperationTest, AnEmptyNoContentAnswerSucceedsOnTheMainQueue) {
    server.route("/empty", [](auto&) { return test::ScriptedResponse::text(204, ""); });
    Outcome outcome;
    run("/empty", outcome);
    ASSERT_TRUE(outcome.succeeded);
    ASSERT_NE(outcome.body, nullptr);
    EXPECT_TRUE(outcome.body->empty());
    EXPECT_EQ(outcome.successQueue, core::DispatchQueue::main());
}

TEST_F(HTTPRequestOperationTest, ContentTypeIsJudgedOnlyWhenThereIsABodyAndAfterTheStatus) {
    server.route("/html",
                 [](auto&) { return test::ScriptedResponse::text(200, "<p>", "text/html"); });
    server.route("/nothing",
                 [](auto&) { return test::ScriptedResponse::text(200, "", "text/html"); });
    server.route("/broken",
                 [](auto&) { return test::ScriptedResponse::text(500, "<p>", "text/html"); });
    auto judge = [&](const std::string& path) {
        auto operation =
            std::static_pointer_cast<HTTPRequestOperation>(JSONishOperation::staticClass().create(
                std::make_shared<url::URLRequest>(requestFor(server.url(path)))));
        operation->start();
        EXPECT_TRUE(waitUntilFinished(*operation));
        return operation->error();
    };
    auto wrongType = judge("/html");
    ASSERT_NE(wrongType, nullptr);
    EXPECT_EQ(wrongType->code(), -1016);
    EXPECT_EQ(wrongType->localizedDescription(),
              "Expected content type {(application/json)}, got text/html");
    EXPECT_EQ(judge("/nothing"), nullptr);
    EXPECT_EQ(judge("/broken")->code(), -1011);
}

TEST_F(HTTPRequestOperationTest, AnAnswerWithoutStatusIsJudgedAs200) {
    const auto path = std::filesystem::temp_directory_path() / "proofshot-netops-file.txt";
    std::ofstream(path) << "local";
    auto operation =
        HTTPRequestOperation::create(url::URLRequest(url::URL::fileURL(path.string())));
    operation->start();
    ASSERT_TRUE(waitUntilFinished(*operation));
    EXPECT_TRUE(operation->hasAcceptableStatusCode());
    EXPECT_EQ(operation->error(), nullptr);
    EXPECT_EQ(operation->responseString(), "local");
    std::filesystem::remove(path);
}

TEST_F(HTTPRequestOperationTest, CanProcessRequestMatchesTheAcceptHeaderForSubclasses) {
    url::MutableURLRequest request(url::URL::create("http://127.0.0.1/a"));
    EXPECT_TRUE(HTTPRequestOperation::staticClass().canProcessRequest(request));
    EXPECT_FALSE(JSONishOperation::staticClass().canProcessRequest(request));
    request.setValue("text/html, application/json;q=0.9", "Accept");
    EXPECT_TRUE(JSONishOperation::staticClass().canProcessRequest(request));
    request.setValue("text/html,, ;q=1", "Accept");
    EXPECT_FALSE(JSONishOperation::staticClass().canProcessRequest(request));
}

TEST_F(HTTPRequestOperationTest, AddedCodesAndTypesReachOnlyTheClassAndItsHeirs) {
    static const OperationClass child("JSONishChild", &JSONishOperation::staticClass(), {});
    JSONishOperation::staticClass().addAcceptableContentTypes({"text/json"});
    EXPECT_EQ(child.acceptableContentTypes(),
              (OperationClass::ContentTypes{"application/json", "text/json"}));
    EXPECT_EQ(HTTPRequestOperation::staticClass().acceptableContentTypes(), std::nullopt);

    child.addAcceptableStatusCodes({304});
    EXPECT_TRUE(child.acceptableStatusCodes()->contains(304));
    EXPECT_TRUE(child.acceptableStatusCodes()->contains(299));
    EXPECT_FALSE(JSONishOperation::staticClass().acceptableStatusCodes()->contains(304));
}

TEST_F(HTTPRequestOperationTest, PausingAFinishedOperationOnlyAddsTheRangeHeaders) {
    server.route("/tagged", [](auto&) {
        auto response = test::ScriptedResponse::text(200, std::string(1024, 'b'));
        response.headers.emplace_back("ETag", "\"v1\"");
        return response;
    });
    Outcome outcome;
    auto operation = run("/tagged", outcome);
    operation->pause();
    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(operation->request()->valueForHTTPHeaderField("Range"), "bytes=1024-");
    EXPECT_EQ(operation->request()->valueForHTTPHeaderField("If-Range"), "\"v1\"");
}

// Pauses part-way through a slow body, then resumes it.
class ResumeTest : public HTTPRequestOperationTest {
protected:
    static test::ScriptedResponse slowly(test::ScriptedResponse response) {
        response.chunked = true;
        response.chunkSize = 4096;
        response.delayBetweenChunks = 5ms;
        return response;
    }
    std::shared_ptr<HTTPRequestOperation> pauseAndResume(const std::string& path) {
        auto operation = HTTPRequestOperation::create(requestFor(server.url(path)));
        operation->start();
        EXPECT_TRUE(pumpUntil([&] { return operation->totalBytesRead() >= 8192; }));
        operation->pause();
        offsetAtPause = operation->outputStream()->dataWrittenToMemory()->size();
        operation->resume();
        EXPECT_TRUE(waitUntilFinished(*operation));
        return operation;
    }
    const std::string body = [] {
        std::string text;
        for (int i = 0; text.size() < 200000; ++i) {
            text += std::to_string(i) + ",";
        }
        return text;
    }();
    std::size_t offsetAtPause = 0;
};

TEST_F(ResumeTest, TheResumedBodyIsWholeWhetherTheAnswerIsPartialOrFull) {
    server.route("/ranged", [&](const test::RecordedRequest& r) {
        return slowly(test::ScriptedResponse::ranged(r, body));
    });
    server.route("/full", [&](auto&) { return slowly(test::ScriptedResponse::text(200, body)); });
    auto ranged = pauseAndResume("/ranged");
    EXPECT_EQ(ranged->error(), nullptr);
    EXPECT_EQ(core::stringFromBytes(*ranged->responseData()), body);
    EXPECT_EQ(ranged->offsetContentLength(), static_cast<std::int64_t>(offsetAtPause));
    EXPECT_EQ(ranged->totalContentLength(), static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(server.requests().back().header("Range"),
              "bytes=" + std::to_string(offsetAtPause) + "-");

    auto full = pauseAndResume("/full");
    EXPECT_EQ(core::stringFromBytes(*full->responseData()), body);
    EXPECT_EQ(full->offsetContentLength(), 0);
}

TEST_F(HTTPRequestOperationTest, AContentRangeThatIsNotBytesKeepsOffsetZero) {
    server.route("/odd", [](auto&) {
        auto response = test::ScriptedResponse::text(206, "abc");
        response.headers.emplace_back("Content-Range", "items 1-3/3");
        return response;
    });
    Outcome outcome;
    auto operation = run("/odd", outcome);
    EXPECT_EQ(operation->offsetContentLength(), 0);
    EXPECT_EQ(operation->totalContentLength(), 3);
}

TEST_F(HTTPRequestOperationTest, BlocksRunOnTheCallbackQueueThatWasSetAndNotAtAllIfCancelled) {
    server.route("/ok", [](auto&) { return test::ScriptedResponse::text(200, "ok"); });
    auto queue = core::DispatchQueue::createSerial("callbacks");
    Outcome outcome;
    auto operation = HTTPRequestOperation::create(requestFor(server.url("/ok")));
    operation->setSuccessCallbackQueue(queue);
    outcome.attach(*operation);
    operation->start();
    ASSERT_TRUE(outcome.settle());
    EXPECT_EQ(outcome.successQueue, queue);

    Outcome cancelled;
    auto never = HTTPRequestOperation::create(requestFor(server.url("/ok")));
    cancelled.attach(*never);
    never->cancel();
    never->start();
    ASSERT_TRUE(cancelled.settle());
    EXPECT_FALSE(cancelled.succeeded);
    EXPECT_FALSE(cancelled.error);
}

}  // namespace
}  // namespace net
