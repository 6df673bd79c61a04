// Answers that break on the way: every one fails with the error that names the break, its
// failure block runs once, no success is reported and the operation is released.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/NetworkingErrors.h"
#include "platform/url/URLError.h"
#include "tests/faults/FaultTesting.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"

namespace {

using test::FaultProxy;
using Fault = test::FaultProxy::Fault;

constexpr std::size_t kBodySize = 256 * 1024;

class BrokenAnswer : public ::testing::Test {
protected:
    BrokenAnswer() {
        server.route("/ipad/stock/big.jpg", [](const test::RecordedRequest&) {
            return test::ScriptedResponse::text(200, faults::patternedBody(kBodySize),
                                                "image/jpeg");
        });
    }

    faults::Outcome fetchThrough(FaultProxy& proxy, double timeout = 5.0) {
        auto request =
            url::URLRequest(url::URL::create(proxy.url("/ipad/stock/big.jpg"))).mutableCopy();
        request.setTimeoutInterval(timeout);
        return faults::run(request);
    }

    // Failed once with `code` of the URL domain, or with either of `codes`.
    static void expectFailedOnce(const faults::Outcome& outcome,
                                 std::initializer_list<url::URLErrorCode> codes) {
        faults::expectFailedOnce(outcome);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->domain(), url::kURLErrorDomain) << outcome.error->description();
        EXPECT_TRUE(std::any_of(codes.begin(), codes.end(), [&](url::URLErrorCode code) {
            return outcome.error->code() == static_cast<std::int64_t>(code);
        })) << outcome.error->description();
    }

    test::LoopbackServer server;
};

TEST_F(BrokenAnswer, AFaithfulProxyChangesNothing) {
    FaultProxy proxy(server.port(), {});
    const auto outcome = fetchThrough(proxy);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_EQ(outcome.body, faults::patternedBody(kBodySize));
    EXPECT_TRUE(outcome.released);
}

TEST_F(BrokenAnswer, ConnectionClosedOrResetBeforeOrMidBodyIsALostConnection) {
    const std::pair<Fault, std::size_t> cases[] = {{Fault::CloseMidResponse, 70 * 1024},
                                                   {Fault::Reset, 70 * 1024},
                                                   {Fault::CloseMidResponse, 0}};
    for (auto [fault, after] : cases) {
        SCOPED_TRACE((fault == Fault::Reset ? "reset after " : "close after ") +
                     std::to_string(after));
        FaultProxy proxy(server.port(), {.fault = fault, .afterBytes = after});
        expectFailedOnce(fetchThrough(proxy), {url::URLErrorCode::NetworkConnectionLost});
        EXPECT_EQ(proxy.faultsInjected(), 1);
    }
}

TEST_F(BrokenAnswer, AnAnswerStalledPastTheTimeoutTimesOut) {
    FaultProxy proxy(server.port(), {.fault = Fault::Stall, .afterBytes = 1000});
    expectFailedOnce(fetchThrough(proxy, 0.5), {url::URLErrorCode::TimedOut});
    EXPECT_TRUE(core::testing::pumpUntil([&] { return proxy.connectionsEnded() == 1; }))
        << "the client kept the stalled connection open";
}

TEST_F(BrokenAnswer, ALengthLongerThanTheBodyNeverPassesAsWhole) {
    // The rest that was announced never comes: the connection is lost or the wait times out.
    FaultProxy proxy(server.port(), {.fault = Fault::RewriteContentLength,
                                     .contentLength = std::to_string(kBodySize * 2)});
    expectFailedOnce(fetchThrough(proxy, 1.0),
                     {url::URLErrorCode::NetworkConnectionLost, url::URLErrorCode::TimedOut});
}

// libcurl reads some garbage as HTTP/0.9 and refuses the protocol, and some as a weird reply;
// either way it is one failure, a bad server response, never a success or an unsupported URL.
TEST_F(BrokenAnswer, AGarbageStatusLineFailsOnce) {
    for (std::string garbage :
         {"HTTP/1.1 abc Broken", "\x01\x02garbage", "HTTP/1.1 99999999999 X"}) {
        SCOPED_TRACE(garbage);
        FaultProxy proxy(server.port(), {.fault = Fault::GarbageStatusLine, .garbage = garbage});
        const auto outcome = fetchThrough(proxy);
        faults::expectFailedOnce(outcome);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code(),
                  static_cast<std::int64_t>(url::URLErrorCode::BadServerResponse))
            << outcome.error->description();
    }
}

TEST_F(BrokenAnswer, AnEndlessHeaderIsRefusedLongBeforeItEnds) {
    FaultProxy proxy(server.port(), {.fault = Fault::EndlessHeader, .endlessCap = 16 << 20});
    faults::expectFailedOnce(fetchThrough(proxy));  // not reading the endless header for ever
}

TEST_F(BrokenAnswer, AServerErrorFailsWithTheStatusInTheError) {
    server.route("/ipad/stock/big.jpg", [](const test::RecordedRequest&) {
        return test::ScriptedResponse::text(503, "busy");
    });
    FaultProxy proxy(server.port(), {});
    const auto outcome = fetchThrough(proxy);
    faults::expectFailedOnce(outcome);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(),
              static_cast<std::int64_t>(net::NetworkingErrorCode::BadServerResponse));
    EXPECT_NE(outcome.error->description().find("503"), std::string::npos)
        << outcome.error->description();
}

// A partial answer placed elsewhere than asked would be stored at the wrong offset and pass
// for the whole file; asked or not, it must fail. One that starts where asked is kept.
TEST_F(BrokenAnswer, APartialAnswerThatStartsElsewhereThanAskedFails) {
    const std::string piece = faults::patternedBody(kBodySize).substr(100, 100);
    server.route("/ipad/stock/big.jpg", [&](const test::RecordedRequest&) {
        auto response = test::ScriptedResponse::text(206, piece, "image/jpeg");
        response.headers.emplace_back("Content-Range",
                                      "bytes 100-199/" + std::to_string(kBodySize));
        return response;
    });
    for (const char* asked : {"", "bytes=0-", "bytes=150-"}) {
        auto request =
            url::URLRequest(url::URL::create(server.url("/ipad/stock/big.jpg"))).mutableCopy();
        if (*asked) {
            request.setValue(asked, "Range");
        }
        SCOPED_TRACE(asked);
        const auto outcome = faults::run(request);
        faults::expectFailedOnce(outcome);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code(),
                  static_cast<std::int64_t>(net::NetworkingErrorCode::BadServerResponse));
    }
    auto asked = url::URLRequest(url::URL::create(server.url("/ipad/stock/big.jpg"))).mutableCopy();
    asked.setValue("bytes=100-", "Range");
    const auto outcome = faults::run(asked);
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_EQ(outcome.body, piece);
}

}  // namespace
