// A batch of 20 photos uploaded through the app's own path (the upload screen: JPEG encoding,
// a multipart request and a thread per photo, acknowledgements counted on the main loop),
// against the same 20 JPEGs posted by a plain libcurl multi uploader, both to the same
// loopback server in the same run.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <filesystem>

#include "app/AppDelegate.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Resources.h"
#include "screens/upload/UploadView.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"

namespace {

constexpr int kPhotos = 20;

test::LoopbackServer& server() {
    static test::LoopbackServer* instance = [] {
        auto* made = new test::LoopbackServer();
        made->route("/ipad/uploadPicPhotos.php",
                    [](const auto&) { return test::ScriptedResponse::text(200, "SUCCESS"); });
        return made;
    }();
    return *instance;
}

// Photos as the collection screen keeps them: 640 x 480, with detail a camera would give.
const std::vector<ui::ImagePtr>& photos() {
    static const std::vector<ui::ImagePtr> made = [] {
        std::vector<ui::ImagePtr> list;
        for (int i = 0; i < kPhotos; ++i) {
            auto bitmap = std::make_shared<ui::Bitmap>(640, 480, ui::PixelFormat::RGB8);
            for (int y = 0; y < 480; ++y) {
                std::uint8_t* row = bitmap->row(y);
                for (int x = 0; x < 640; ++x) {
                    row[3 * x] = static_cast<std::uint8_t>((x * 7 + i * 13) ^ y);
                    row[3 * x + 1] = static_cast<std::uint8_t>(y * 3 + x / 5);
                    row[3 * x + 2] = static_cast<std::uint8_t>((x * y) >> 6);
                }
            }
            list.push_back(ui::Image::create(bitmap));
        }
        return list;
    }();
    return made;
}

void UploadScreenBatch(benchmark::State& state) {
    ui::Resources::setDirectory(std::filesystem::path(PROOFSHOT_SOURCE_DIR) / "resources");
    app::ServiceEndpoints endpoints{server().url(""), server().url("")};
    auto delegate = std::make_shared<app::AppDelegate>(endpoints);
    ui::Application::shared()->resetForTesting();
    ui::Application::shared()->launch(delegate);
    auto navigation = std::static_pointer_cast<ui::NavigationController>(
        delegate->window()->rootViewController());
    for (auto _ : state) {
        auto upload = app::UploadView::create(endpoints);
        upload->sendPhotos(photos());
        navigation->pushViewController(upload, ui::Animated::No);
        ui::Prompt::visiblePrompt()->clickButtonAtIndex(1);
        bool done = core::testing::pumpUntil(
            [&] { return upload->finishedCount() + upload->failedCount() == kPhotos; }, 60.0);
        if (!done || upload->failedCount() > 0) {
            state.SkipWithError("the batch did not upload");
            break;
        }
        navigation->popViewControllerAnimated(ui::Animated::No);
    }
    ui::Application::shared()->resetForTesting();
}

void PlainCurlMultiBatch(benchmark::State& state) {
    std::vector<core::Bytes> jpegs;
    for (const auto& photo : photos()) {
        jpegs.push_back(*ui::JPEGRepresentation(*photo, 1.0));
    }
    std::string base = server().url("/ipad/uploadPicPhotos.php?order=");
    CURLM* multi = curl_multi_init();
    for (auto _ : state) {
        std::vector<std::pair<CURL*, curl_mime*>> transfers;
        for (int i = 0; i < kPhotos; ++i) {
            CURL* easy = curl_easy_init();
            curl_mime* mime = curl_mime_init(easy);
            for (const char* name : {"username", "password", "order", "location"}) {
                curl_mimepart* part = curl_mime_addpart(mime);
                curl_mime_name(part, name);
                curl_mime_data(part, "1", CURL_ZERO_TERMINATED);
            }
            curl_mimepart* file = curl_mime_addpart(mime);
            curl_mime_name(file, "file");
            curl_mime_filename(file, "temp.jpeg");
            curl_mime_type(file, "image/jpeg");
            curl_mime_data(file, reinterpret_cast<const char*>(jpegs[i].data()), jpegs[i].size());
            std::string target = base + std::to_string(i);
            curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
            curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
            curl_easy_setopt(
                easy, CURLOPT_WRITEFUNCTION,
                +[](char*, size_t size, size_t count, void*) { return size * count; });
            curl_multi_add_handle(multi, easy);
            transfers.emplace_back(easy, mime);
        }
        int running = 1;
        while (running > 0) {
            curl_multi_perform(multi, &running);
            if (running > 0) {
                curl_multi_poll(multi, nullptr, 0, 100, nullptr);
            }
        }
        for (auto [easy, mime] : transfers) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            curl_mime_free(mime);
        }
    }
    curl_multi_cleanup(multi);
}

}  // namespace

BENCHMARK(UploadScreenBatch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainCurlMultiBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
