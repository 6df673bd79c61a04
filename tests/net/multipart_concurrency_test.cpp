#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>

#include "net/client/HTTPClient.h"
#include "net/client/MultipartFormData.h"
#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/Thread.h"
#include "platform/url/URLError.h"
#include "tests/net/MultipartTesting.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace {

using net::StreamingMultipartFormData;
using net::testing::ExpectedPart;
using net::testing::ScratchDirectory;

// An in-memory source that notes whether it was opened, and first closed, on the main thread
// (releasing its part closes it again, on whichever thread lets go last).
class WatchedSource : public core::InputStream {
public:
    explicit WatchedSource(std::string text)
        : inner_(core::InputStream::inputStreamWithData(core::bytesFromString(text))) {}
    void open() override {
        openedOnMain = core::Thread::isMainThread();
        inner_->open();
        setStreamStatus(inner_->streamStatus());
    }
    void close() override {
        if (!closed_.exchange(true)) {
            closedOnMain = core::Thread::isMainThread();
        }
        inner_->close();
        setStreamStatus(core::StreamStatus::Closed);
    }
    bool hasBytesAvailable() const override { return inner_->hasBytesAvailable(); }
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) override {
        auto count = inner_->read(buffer, maxLength);
        setStreamStatus(inner_->streamStatus());
        return count;
    }
    std::atomic<bool> openedOnMain{false};
    std::atomic<bool> closedOnMain{false};

private:
    std::shared_ptr<core::InputStream> inner_;
    std::atomic<bool> closed_{false};
};

const std::string kLastPart = "short last part";

// A finalized body of a text field "a" and a part of kLastPart read from `source`.
std::shared_ptr<net::MultipartBodyStream> fieldThenShortPart(
    const std::shared_ptr<WatchedSource>& source) {
    StreamingMultipartFormData builder(url::URLRequest{});
    builder.appendPartWithFormData(core::bytesFromString("first"), "a");
    auto part = net::HTTPBodyPart::create();
    part->setBodyContentLength(kLastPart.size());
    part->setInputStream(source);
    builder.bodyStream()->appendHTTPBodyPart(part);
    builder.requestByFinalizingMultipartFormData();
    return builder.bodyStream();
}

const std::string kFieldThenShortPart = net::testing::frame(
    {{{{"Content-Disposition", "form-data; name=\"a\""}}, "first"}, {{}, kLastPart}});

TEST(MultipartConcurrency, ReaderOnAnotherThreadHandsPhaseChangesToTheMainThread) {
    auto source = std::make_shared<WatchedSource>(kLastPart);
    std::string body;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        auto stream = fieldThenShortPart(source);
        stream->open();
        body = core::stringFromBytes(net::testing::readBody(*stream, {5}));
        done = true;
    });
    EXPECT_TRUE(core::testing::pumpUntil([&] { return done.load(); }));
    reader.join();
    EXPECT_TRUE(source->openedOnMain);
    EXPECT_TRUE(source->closedOnMain);
    EXPECT_EQ(body, kFieldThenShortPart);
}

// One turn of the main loop, of at most 5 ms: whether it handled a task.
bool mainLoopTurnHandledATask() {
    return core::RunLoop::main()->runInMode(core::RunLoop::kDefaultMode,
                                            core::Clock::now() + std::chrono::milliseconds(5)) ==
           core::RunLoop::RunResult::Handled;
}

// Reads a body of `kParts` form fields, the i-th of them `sizeOf(i)` bytes long, on another
// thread through one large buffer; gives the visits the main thread had, and checks the bytes.
int visitsToReadFields(const std::function<std::size_t(int)>& sizeOf) {
    constexpr int kParts = 6;
    StreamingMultipartFormData builder(url::URLRequest{});
    std::vector<ExpectedPart> parts;
    for (int i = 0; i < kParts; ++i) {
        const std::string name = "field" + std::to_string(i);
        const std::string body(sizeOf(i), static_cast<char>('a' + i));
        builder.appendPartWithFormData(core::bytesFromString(body), name);
        parts.push_back({{{"Content-Disposition", "form-data; name=\"" + name + "\""}}, body});
    }
    builder.requestByFinalizingMultipartFormData();
    auto stream = builder.bodyStream();
    std::string body;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        stream->open();
        body = core::stringFromBytes(net::testing::readBody(*stream, {1 << 20}));
        done = true;
    });
    // Each visit is one posted task, handled as a batch of its own since the reader waits.
    int visits = 0;
    const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < watchdog) {
        visits += mainLoopTurnHandledATask() ? 1 : 0;
    }
    reader.join();
    EXPECT_EQ(body, net::testing::frame(parts));
    return visits;
}

// The end of one part and the start of the next share one visit to the main thread, and short
// bodies that fit the reader's buffer are read during the visit: six small fields cost one
// visit, six large ones (read on the reader's thread) at most seven, never twelve.
TEST(MultipartConcurrency, VisitsToTheMainThreadAreSharedAcrossPartBoundaries) {
    EXPECT_EQ(visitsToReadFields([](int i) { return i == 2 ? 0 : 1000 * i + 5; }), 1);
    EXPECT_EQ(visitsToReadFields([](int i) { return 40000 + 7 * i; }), 7);
}

// A stream opened off the main thread has its first phase changes done by the main thread
// right away: a body of short parts is then read whole without waiting for the main thread
// again. Closed on the main thread before that visit ran, the stream calls it off.
TEST(MultipartConcurrency, TheOpeningVisitRunsAheadOfTheFirstReadOrIsCalledOff) {
    auto source = std::make_shared<WatchedSource>(kLastPart);
    auto stream = fieldThenShortPart(source);

    std::thread([&] { stream->open(); }).join();
    stream->close();       // on the main thread, before the posted visit could run
    bool handled = false;  // the posted visit, doing nothing now
    for (int turn = 0; turn < 400 && !handled; ++turn) {
        handled = mainLoopTurnHandledATask();
    }
    EXPECT_TRUE(handled);
    EXPECT_FALSE(source->openedOnMain);
    stream->open();  // on the main thread: the steps run as the reads need them
    EXPECT_EQ(core::stringFromBytes(net::testing::readBody(*stream, {7})), kFieldThenShortPart);
    EXPECT_TRUE(source->openedOnMain);

    auto second = std::make_shared<WatchedSource>(kLastPart);
    auto ahead = fieldThenShortPart(second);
    std::atomic<bool> go{false};
    std::atomic<bool> done{false};
    std::string body;
    std::thread reader([&] {
        ahead->open();
        while (!go) {
            std::this_thread::yield();
        }
        body = core::stringFromBytes(net::testing::readBody(*ahead, {1 << 20}));
        done = true;
    });
    EXPECT_TRUE(core::testing::pumpUntil([&] { return second->closedOnMain.load(); }));
    go = true;
    // The main loop is not run here: a read that still needed it would not finish.
    const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < watchdog) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(done);
    EXPECT_TRUE(core::testing::pumpUntil([&] { return done.load(); }));  // frees a stuck reader
    reader.join();
    EXPECT_EQ(body, kFieldThenShortPart);
}

// Builds the request through a client on a thread of its own and starts it there, as the
// upload screen does.
struct Upload {
    std::shared_ptr<net::HTTPRequestOperation> operation;
    net::testing::Flag finished;
    std::shared_ptr<std::optional<core::Error>> error =
        std::make_shared<std::optional<core::Error>>();

    void start(const test::LoopbackServer& server, const std::string& target,
               const net::HTTPClient::Parameters& parameters,
               const std::function<void(net::MultipartFormData&)>& block) {
        auto client = net::HTTPClient::create(url::URL::create(server.url()));
        std::atomic<bool> started{false};
        std::thread uploader([&] {
            operation = net::HTTPRequestOperation::create(
                client->multipartFormRequest("POST", target, parameters, block));
            auto flag = finished;
            auto failure = error;
            operation->setCompletionBlockWithSuccess(
                [flag](const auto&, const std::any&) { flag.raise(); },
                [flag, failure](const auto&, const core::Error& e) {
                    *failure = e;
                    flag.raise();
                });
            operation->start();
            started = true;
        });
        // The builder hands steps to this thread, so it must keep pumping while it waits.
        EXPECT_TRUE(core::testing::pumpUntil([&] { return started.load(); }));
        uploader.join();
    }
};

TEST(MultipartUpload, ServerReceivesEveryPartByteForByteIncludingAFileFromDisk) {
    test::LoopbackServer server;
    server.route("/ipad/uploadPicPhotos.php", [](const test::RecordedRequest&) {
        return test::ScriptedResponse::text(200, "OK");
    });
    ScratchDirectory directory;
    std::mt19937 random(7);
    std::string fileContents;
    for (int i = 0; i < 300000; ++i) {
        fileContents += static_cast<char>(random() & 0xFF);
    }
    std::string path = directory.write("site.photo.raw", fileContents);
    const std::string jpeg = "\xFF\xD8 photo \xFF\xD9";

    Upload upload;
    core::Value::Map fields{{"username", core::bytesFromString("jo")},
                            {"order", core::bytesFromString("1234")}};
    upload.start(server, "/ipad/uploadPicPhotos.php?order=0", fields, [&](auto& builder) {
        ASSERT_TRUE(builder.appendPartWithFileURL(url::URL::fileURL(path), "raw"));
        builder.appendPartWithFileData(core::bytesFromString(jpeg), "file", "temp.jpeg",
                                       "image/jpeg");
    });
    ASSERT_TRUE(upload.finished.wait());
    ASSERT_FALSE(*upload.error) << (*upload.error)->description();

    std::vector<ExpectedPart> parts{
        {{{"Content-Disposition", "form-data; name=\"username\""}}, "jo"},
        {{{"Content-Disposition", "form-data; name=\"order\""}}, "1234"},
        {{{"Content-Disposition", "form-data; name=\"raw\"; filename=\"site.photo\""},
          {"Content-Type", "application/octet-stream"}},
         fileContents},
        {{{"Content-Disposition", "form-data; name=\"file\"; filename=\"temp.jpeg\""},
          {"Content-Type", "image/jpeg"}},
         jpeg},
    };
    ASSERT_EQ(server.requestCount(), 1u);
    const test::RecordedRequest received = server.requests()[0];
    EXPECT_EQ(received.target, "/ipad/uploadPicPhotos.php?order=0");
    EXPECT_EQ(received.header("Content-Length"), std::to_string(received.body.size()));
    EXPECT_EQ(received.header("Content-Type"),
              "multipart/form-data; boundary=" + std::string(net::MultipartBoundaryString));
    EXPECT_TRUE(received.body == net::testing::frame(parts)) << "bodies differ";
    net::testing::writeCheckCase(directory, "upload", received.body, parts);
    auto [matched, report] = net::testing::checkWithEmailParser(directory);
    EXPECT_TRUE(matched) << report;
}

// A body that cannot be sent as announced, or would have to be sent twice, fails the upload
// with an error saying so; the server never sees a body that disagrees with its length.
TEST(MultipartUpload, BodiesThatCannotBeSentAsAnnouncedFailTheUpload) {
    test::LoopbackServer server;
    server.route("/upload", [](const test::RecordedRequest&) {
        return test::ScriptedResponse::text(200, "OK");
    });
    server.route("/moved", [&](const test::RecordedRequest&) {
        return test::ScriptedResponse::redirect(307, server.url("/upload"));
    });
    ScratchDirectory directory;
    std::string path = directory.write("photo.jpg", std::string(70000, 'p'));

    struct Case {
        std::string name;
        std::string target;
        std::function<void(net::MultipartFormData&)> build;
        std::int64_t code;
    };
    std::vector<Case> cases{
        {"failing source", "/upload",
         [](auto& builder) {
             auto part = net::HTTPBodyPart::create();
             part->setBodyContentLength(100000);
             part->setInputStream(std::make_shared<net::testing::FailingSource>(40000));
             dynamic_cast<StreamingMultipartFormData&>(builder).bodyStream()->appendHTTPBodyPart(
                 part);
         },
         -1000},
        {"file grew", "/upload",
         [&](auto& builder) {
             ASSERT_TRUE(builder.appendPartWithFileURL(url::URL::fileURL(path), "file"));
             directory.write("photo.jpg", std::string(70001, 'p'));
         },
         -1000},
        {"307 redirect", "/moved",
         [](auto& builder) {
             builder.appendPartWithFormData(core::bytesFromString("1234"), "order");
         },
         static_cast<std::int64_t>(url::URLErrorCode::RequestBodyStreamExhausted)},
    };
    for (const Case& c : cases) {
        directory.write("photo.jpg", std::string(70000, 'p'));
        Upload upload;
        upload.start(server, c.target, std::nullopt, c.build);
        ASSERT_TRUE(upload.finished.wait()) << c.name;
        ASSERT_TRUE(*upload.error) << c.name;
        EXPECT_EQ((*upload.error)->code(), c.code)
            << c.name << ": " << (*upload.error)->description();
    }
    for (const auto& request : server.requests()) {
        if (request.path() == "/upload") {
            ADD_FAILURE() << "a body reached /upload: " << request.body.size() << " bytes";
        }
    }
}

}  // namespace
