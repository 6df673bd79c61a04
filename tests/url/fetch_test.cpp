#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/url/URLError.h"
#include "platform/url/URLFetch.h"
#include "tests/support/LoopbackServer.h"

namespace {

using test::LoopbackServer;
using test::ScriptedResponse;

std::int64_t codeOf(url::URLErrorCode code) {
    return static_cast<std::int64_t>(code);
}

class FetchContentsTest : public ::testing::Test {
protected:
    url::URL at(const std::string& target) { return *url::URL::create(server.url(target)); }
    LoopbackServer server;
};

TEST_F(FetchContentsTest, ReturnsTheBodyAfterRedirectsAndFailsOnErrorsTimeoutsAndSize) {
    server.route("/stock/a.jpg", [](const auto&) { return ScriptedResponse::redirect(302, "/b"); });
    server.route("/b", [](const auto&) { return ScriptedResponse::text(200, "\xFF\xD8jpeg"); });
    server.route("/big",
                 [](const auto&) { return ScriptedResponse::text(200, std::string(2048, 'b')); });
    ScriptedResponse stalled = ScriptedResponse::text(200, "late");
    stalled.delayBeforeHeaders = std::chrono::seconds(20);
    server.route("/stalled", [=](const auto&) { return stalled; });

    auto bytes = url::fetchContents(at("/stock/a.jpg"), 5);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(core::stringFromBytes(*bytes), "\xFF\xD8jpeg");

    auto missing = url::fetchContents(at("/nothing-here"), 5);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code(), codeOf(url::URLErrorCode::BadServerResponse));
    EXPECT_EQ(missing.error().failingURL(), server.url("/nothing-here"));

    auto late = url::fetchContents(at("/stalled"), 0.2);
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().code(), codeOf(url::URLErrorCode::TimedOut));

    auto big = url::fetchContents(at("/big"), 5, 1024);
    ASSERT_FALSE(big);
    EXPECT_EQ(big.error().code(), codeOf(url::URLErrorCode::DataLengthExceedsMaximum));

    auto other = url::fetchContents(*url::URL::create("ftp://127.0.0.1/x"), 5);
    ASSERT_FALSE(other);
    EXPECT_EQ(other.error().code(), codeOf(url::URLErrorCode::UnsupportedURL));
}

TEST_F(FetchContentsTest, ReadsFileURLsFromDisk) {
    std::string path = ::testing::TempDir() + "proofshot fetch.bin";
    std::ofstream(path, std::ios::binary) << std::string("a\0b", 3);

    auto bytes = url::fetchContents(url::URL::fileURL(path));
    auto capped = url::fetchContents(url::URL::fileURL(path), 5, 2);
    ::unlink(path.c_str());
    auto gone = url::fetchContents(url::URL::fileURL(path));

    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, (core::Bytes{'a', 0, 'b'}));
    ASSERT_FALSE(capped);
    EXPECT_EQ(capped.error().code(), codeOf(url::URLErrorCode::DataLengthExceedsMaximum));
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().code(), codeOf(url::URLErrorCode::FileDoesNotExist));
    EXPECT_EQ(gone.error().domain(), url::kURLErrorDomain);
}

}  // namespace
