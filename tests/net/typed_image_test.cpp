#include <gtest/gtest.h>

#include <atomic>

#include "net/NetworkingErrors.h"
#include "net/ui/ImageRequestOperation.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/PNGEncoder.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::ScriptedResponse;
using ImagePtr = ImageRequestOperation::ImagePtr;

std::string pngOf(int width, int height) {
    auto bitmap = std::make_shared<const ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
    auto bytes = ui::PNGRepresentation(*ui::Image::create(bitmap));
    return core::stringFromBytes(bytes.value());
}

class ImageOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.route("/wide.png", [](const auto&) {
            return ScriptedResponse::text(200, pngOf(200, 100), "image/png");
        });
        server_.route("/fake.png", [](const auto&) {
            return ScriptedResponse::text(200, "not an image", "image/png");
        });
    }
    LoopbackServer server_;
};

TEST_F(ImageOperationTest, DecodesAtTheScaleAndRewrapsOnlyWhenTheScaleChanges) {
    ImagePtr received;
    auto operation = ImageRequestOperation::imageRequestOperationWithRequest(
        testing::requestFor(server_.url("/wide.png")),
        [&received](const ImagePtr& image) { received = image; });
    operation->setImageScale(2.0);
    operation->start();
    ASSERT_TRUE(pumpUntil([&] { return received != nullptr; }));
    EXPECT_EQ(received->size().width, 100);
    EXPECT_EQ(received->size().height, 50);
    EXPECT_EQ(operation->responseImage(), received);
    operation->setImageScale(2.0);
    EXPECT_EQ(operation->responseImage(), received);  // same scale: same object
    operation->setImageScale(1.0);
    auto rescaled = operation->responseImage();
    ASSERT_NE(rescaled, received);
    EXPECT_EQ(rescaled->size().width, 200);
}

TEST_F(ImageOperationTest, TheProcessingBlockRunsBeforeSuccessAndABadBodyFails) {
    std::atomic<bool> processedOffMain{false};
    ImagePtr processed;
    auto marker =
        ui::Image::create(std::make_shared<const ui::Bitmap>(1, 1, ui::PixelFormat::RGB8));
    auto operation = ImageRequestOperation::imageRequestOperationWithRequest(
        testing::requestFor(server_.url("/wide.png")),
        [&](const ImagePtr& image) {
            processedOffMain =
                image && core::DispatchQueue::current() == ImageRequestOperation::processingQueue();
            return marker;
        },
        [&](const auto&, const auto&, const ImagePtr& image) { processed = image; }, nullptr);
    operation->start();
    ASSERT_TRUE(pumpUntil([&] { return processed != nullptr; }));
    EXPECT_EQ(processed, marker);
    EXPECT_TRUE(processedOffMain);

    std::optional<core::Error> error;
    bool succeeded = false;
    auto fake = ImageRequestOperation::imageRequestOperationWithRequest(
        testing::requestFor(server_.url("/fake.png")), nullptr,
        [&](const auto&, const auto&, const ImagePtr&) { succeeded = true; },
        [&](const auto&, const auto&, const core::Error& failure) { error = failure; });
    fake->start();
    ASSERT_TRUE(pumpUntil([&] { return error.has_value() || succeeded; }));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain(), NetworkingErrorDomain);
    EXPECT_EQ(error->code(),
              static_cast<std::int64_t>(NetworkingErrorCode::CannotDecodeContentData));
}

TEST(ImageOperationClassTest, ClaimsImageExtensionsAndBothIconTypes) {
    const auto& image = ImageRequestOperation::staticClass();
    for (const char* path : {"/a.cur", "/a.tif", "/a.jpeg", "/a.ico"}) {
        EXPECT_TRUE(
            image.canProcessRequest(testing::requestFor(std::string("http://h.test") + path)))
            << path;
    }
    EXPECT_FALSE(image.canProcessRequest(testing::requestFor("http://h.test/a.svg")));
    const auto types = image.acceptableContentTypes().value();
    EXPECT_TRUE(types.contains("image/x-icon"));
    EXPECT_TRUE(types.contains("image/ico"));
}

}  // namespace
}  // namespace net
