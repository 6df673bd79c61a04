#include <gtest/gtest.h>

#include "net/ui/ImageViewLoading.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/PNGEncoder.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using core::testing::pumpUntil;
using test::LoopbackServer;
using test::ScriptedResponse;
using ImagePtr = std::shared_ptr<ui::Image>;

ImagePtr imageOf(int width, int height) {
    return ui::Image::create(
        std::make_shared<const ui::Bitmap>(width, height, ui::PixelFormat::RGB8));
}

std::string pngOf(int width, int height) {
    return core::stringFromBytes(ui::PNGRepresentation(*imageOf(width, height)).value());
}

struct Calls {
    int successes = 0;
    int failures = 0;
    std::shared_ptr<const url::URLRequest> request;
    ImagePtr image;
};

class ImageViewLoadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ImageViewLoading::sharedImageCache()->removeAllObjects();
        server_.route("/slow.png", [](const auto&) {
            auto response = ScriptedResponse::text(200, pngOf(30, 30), "image/png");
            response.delayBeforeHeaders = std::chrono::milliseconds(300);
            return response;
        });
        server_.route("/fast.png", [](const auto&) {
            return ScriptedResponse::text(200, pngOf(20, 10), "image/png");
        });
        server_.route("/missing.png",
                      [](const auto&) { return ScriptedResponse::text(404, "no", "text/plain"); });
    }

    void load(
        const std::string& path, Calls& calls, ImagePtr placeholder = nullptr,
        url::URLRequestCachePolicy policy = url::URLRequestCachePolicy::UseProtocolCachePolicy) {
        url::MutableURLRequest request(url::URL::create(server_.url(path)));
        request.setCachePolicy(policy);
        ImageViewLoading::setImageWithURLRequest(
            view_, request, std::move(placeholder),
            [&calls](const auto& request, const auto&, const ImagePtr& image) {
                ++calls.successes;
                calls.request = request;
                calls.image = image;
            },
            [&calls](const auto&, const auto&, const core::Error&) { ++calls.failures; });
    }
    std::size_t requestsFor(const std::string& path) const {
        std::size_t count = 0;
        for (const auto& request : server_.requests()) {
            count += request.path() == path ? 1 : 0;
        }
        return count;
    }

    LoopbackServer server_;
    std::shared_ptr<ui::ImageView> view_ = ui::ImageView::create();
};

TEST_F(ImageViewLoadingTest, ASecondRequestCancelsTheFirstAndTheViewEndsWithTheSecond) {
    Calls first;
    Calls second;
    load("/slow.png", first);
    auto slow = ImageViewLoading::imageRequestOperation(*view_);
    ASSERT_NE(slow, nullptr);
    load("/fast.png", second);
    ASSERT_TRUE(pumpUntil([&] { return second.successes == 1 && slow->isFinished(); }));
    ASSERT_TRUE(pumpUntil([] { return true; }));
    EXPECT_TRUE(slow->isCancelled());
    EXPECT_EQ(first.successes + first.failures, 0);
    EXPECT_EQ(view_->image(), second.image);
    EXPECT_EQ(view_->image()->pixelWidth(), 20);
    EXPECT_EQ(ImageViewLoading::imageRequestOperation(*view_), nullptr);
}

TEST_F(ImageViewLoadingTest, ACachedImageIsShownAtOnceUnlessThePolicyIgnoresLocalData) {
    Calls download;
    load("/fast.png", download);
    ASSERT_TRUE(pumpUntil([&] { return download.successes == 1; }));
    ASSERT_NE(download.request, nullptr);

    Calls hit;
    load("/fast.png", hit);
    EXPECT_EQ(hit.successes, 1);  // synchronously
    EXPECT_EQ(hit.request, nullptr);
    EXPECT_EQ(hit.image, download.image);
    EXPECT_EQ(requestsFor("/fast.png"), 1u);

    Calls reload;
    load("/fast.png", reload, nullptr, url::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
    EXPECT_EQ(reload.successes, 0);
    ASSERT_TRUE(pumpUntil([&] { return reload.successes == 1; }));
    EXPECT_EQ(requestsFor("/fast.png"), 2u);
    url::URLRequest plain(url::URL::create(server_.url("/fast.png")));
    EXPECT_EQ(ImageViewLoading::sharedImageCache()->cachedImageForRequest(plain), reload.image);
}

TEST_F(ImageViewLoadingTest, AFailedDownloadKeepsThePlaceholder) {
    auto placeholder = imageOf(4, 4);
    Calls calls;
    load("/missing.png", calls, placeholder);
    EXPECT_EQ(view_->image(), placeholder);
    ASSERT_TRUE(pumpUntil([&] { return calls.failures == 1; }));
    EXPECT_EQ(view_->image(), placeholder);
    EXPECT_EQ(ImageViewLoading::imageRequestOperation(*view_), nullptr);
}

TEST(ImageCacheTest, EvictsTheLeastRecentlyUsedBeyondItsCostLimit) {
    const auto image = imageOf(10, 10);  // 400 bytes
    ImageCache cache(1000);
    auto request = [](const char* path) {
        return url::URLRequest(url::URL::create(std::string("http://h.test") + path));
    };
    cache.cacheImage(image, request("/a"));
    cache.cacheImage(image, request("/b"));
    EXPECT_NE(cache.cachedImageForRequest(request("/a")), nullptr);  // /a is now the newest
    cache.cacheImage(image, request("/c"));
    EXPECT_EQ(cache.cachedImageForRequest(request("/b")), nullptr);
    EXPECT_NE(cache.cachedImageForRequest(request("/a")), nullptr);
    EXPECT_EQ(cache.totalCost(), 800u);
    cache.cacheImage(imageOf(20, 20), request("/huge"));  // 1600 bytes: never kept
    EXPECT_EQ(cache.cachedImageForRequest(request("/huge")), nullptr);
    EXPECT_EQ(cache.count(), 2u);
}

}  // namespace
}  // namespace net
