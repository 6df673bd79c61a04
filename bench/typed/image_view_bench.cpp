// Image views filled from a loopback server: 200 thumbnails with an empty shared cache (every
// one requested, received and decoded) against the same 200 with the cache already holding
// them (no request at all). Time per batch of 200.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/ui/ImageCache.h"
#include "net/ui/ImageViewLoading.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PNGEncoder.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"

namespace {

constexpr int kThumbnails = 200;
constexpr int kSide = 96;

std::string thumbnailPNG(int seed) {
    std::vector<std::uint8_t> pixels(kSide * kSide * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(seed)) & 0xff);
    }
    auto bitmap =
        std::make_shared<const ui::Bitmap>(kSide, kSide, ui::PixelFormat::RGB8, std::move(pixels));
    auto bytes = ui::PNGRepresentation(*ui::Image::create(std::move(bitmap)));
    return core::stringFromBytes(bytes.value());
}

class ThumbnailServer {
public:
    ThumbnailServer() {
        for (int i = 0; i < kThumbnails; ++i) {
            const std::string path = "/thumbs/" + std::to_string(i) + ".png";
            std::string body = thumbnailPNG(i);
            server_.route(path, [body](const auto&) {
                return test::ScriptedResponse::text(200, body, "image/png");
            });
            urls_.push_back(url::URL::create(server_.url(path)).value());
        }
    }
    const std::vector<url::URL>& urls() const { return urls_; }

private:
    test::LoopbackServer server_;
    std::vector<url::URL> urls_;
};

ThumbnailServer& thumbnails() {
    static ThumbnailServer server;
    return server;
}

// Fills one view per thumbnail and pumps the main loop until every view shows its picture.
bool loadBatch(const std::shared_ptr<ui::Image>& placeholder) {
    std::vector<std::shared_ptr<ui::ImageView>> views;
    views.reserve(kThumbnails);
    for (const auto& address : thumbnails().urls()) {
        views.push_back(ui::ImageView::create());
        net::ImageViewLoading::setImageWithURL(views.back(), address, placeholder);
    }
    return core::testing::pumpUntil([&] {
        for (const auto& view : views) {
            if (view->image() == placeholder) {
                return false;
            }
        }
        return true;
    });
}

std::shared_ptr<ui::Image> placeholderImage() {
    return ui::Image::create(std::make_shared<const ui::Bitmap>(1, 1, ui::PixelFormat::RGB8));
}

void ImageViewBatchColdCache(benchmark::State& state) {
    const auto placeholder = placeholderImage();
    auto cache = net::ImageViewLoading::sharedImageCache();
    for (auto _ : state) {
        state.PauseTiming();
        cache->removeAllObjects();
        state.ResumeTiming();
        if (!loadBatch(placeholder)) {
            state.SkipWithError("the batch did not finish");
        }
    }
}

void ImageViewBatchWarmCache(benchmark::State& state) {
    const auto placeholder = placeholderImage();
    if (!loadBatch(placeholder) ||
        net::ImageViewLoading::sharedImageCache()->count() != kThumbnails) {
        state.SkipWithError("the cache was not filled");
    }
    for (auto _ : state) {
        if (!loadBatch(placeholder)) {
            state.SkipWithError("the batch did not finish");
        }
    }
}

BENCHMARK(ImageViewBatchColdCache)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ImageViewBatchWarmCache)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
