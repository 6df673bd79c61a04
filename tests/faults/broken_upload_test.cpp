// Uploads cut off on the way, and downloads onto a full disk: each fails once, with its cause,
// and nothing reports success.
#include <gtest/gtest.h>

#include <cerrno>

#include "net/client/MultipartFormData.h"
#include "platform/core/OutputStream.h"
#include "platform/url/URLError.h"
#include "tests/faults/FaultTesting.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/LoopbackServer.h"

namespace {

using Fault = test::FaultProxy::Fault;

constexpr std::size_t kPhotoSize = 512 * 1024;

url::MutableURLRequest plainUpload(const std::string& address) {
    auto request = url::URLRequest(url::URL::create(address)).mutableCopy();
    request.setHTTPMethod("POST");
    request.setHTTPBody(core::bytesFromString(faults::patternedBody(kPhotoSize)));
    request.setTimeoutInterval(5);
    return request;
}

url::MutableURLRequest multipartUpload(const std::string& address) {
    auto base = url::URLRequest(url::URL::create(address)).mutableCopy();
    base.setHTTPMethod("POST");
    base.setTimeoutInterval(5);
    net::StreamingMultipartFormData builder(base);
    builder.appendPartWithFormData(core::bytesFromString("1001"), "order");
    builder.appendPartWithFileData(core::bytesFromString(faults::patternedBody(kPhotoSize)), "file",
                                   "temp.jpeg", "image/jpeg");
    return builder.requestByFinalizingMultipartFormData();
}

class BrokenUpload : public ::testing::Test {
protected:
    BrokenUpload() {
        server.route("/ipad/uploadPicPhotos.php", [](const test::RecordedRequest&) {
            return test::ScriptedResponse::text(200, "SUCCESS");
        });
    }
    test::LoopbackServer server;
};

TEST_F(BrokenUpload, AnUploadCutOffMidBodyFailsAsALostConnection) {
    const std::string target = "/ipad/uploadPicPhotos.php?order=0";
    for (bool multipart : {false, true}) {
        SCOPED_TRACE(multipart ? "multipart body stream" : "body in memory");
        test::FaultProxy proxy(server.port(),
                               {.fault = Fault::CloseMidUpload, .afterBytes = 40 * 1024});
        const auto outcome = faults::run(multipart ? multipartUpload(proxy.url(target))
                                                   : plainUpload(proxy.url(target)));
        faults::expectFailedOnce(outcome);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code(),
                  static_cast<std::int64_t>(url::URLErrorCode::NetworkConnectionLost))
            << outcome.error->description();
        EXPECT_EQ(proxy.faultsInjected(), 1);
    }
    EXPECT_EQ(server.requestCount(), 0u) << "the server never saw a whole upload";
}

TEST_F(BrokenUpload, TheSameUploadsPassAFaithfulProxyWhole) {
    const std::string target = "/ipad/uploadPicPhotos.php?order=0";
    for (bool multipart : {false, true}) {
        test::FaultProxy proxy(server.port(), {});
        const auto outcome = faults::run(multipart ? multipartUpload(proxy.url(target))
                                                   : plainUpload(proxy.url(target)));
        ASSERT_TRUE(outcome.ended);
        EXPECT_EQ(outcome.failures, 0);
        EXPECT_EQ(outcome.successes, 1);
        EXPECT_EQ(outcome.body, "SUCCESS");
    }
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[0].body, faults::patternedBody(kPhotoSize));
}

// A body the disk cannot take is a failure with the disk's error, reported once, and the
// connection stops instead of pulling the rest of the body.
TEST(FullDisk, ADownloadToAFullDiskFails) {
    test::LoopbackServer server;
    server.route("/ipad/stock/big.jpg", [](const test::RecordedRequest&) {
        return test::ScriptedResponse::text(200, faults::patternedBody(kPhotoSize), "image/jpeg");
    });
    auto operation = net::HTTPRequestOperation::create(
        url::URLRequest(url::URL::create(server.url("/ipad/stock/big.jpg"))));
    operation->setOutputStream(
        core::OutputStream::outputStreamToFileAtPath("/dev/full", core::FileWriteMode::Truncate));
    auto stored = std::make_shared<std::int64_t>(0);
    operation->setDownloadProgressBlock(
        [stored](std::int64_t, std::int64_t total, std::int64_t) { *stored = total; });
    const auto outcome = faults::run(std::move(operation));
    faults::expectFailedOnce(outcome);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), ENOSPC) << outcome.error->description();
    EXPECT_LT(*stored, static_cast<std::int64_t>(kPhotoSize))
        << "the body went on after the failure";
}

}  // namespace
