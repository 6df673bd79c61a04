// Batches of photos uploaded through the app's own path (the upload screen: JPEG encoding, a
// multipart request and a thread per photo, acknowledgements counted on the main loop),
// against the same photos, encoded beforehand, posted by a plain libcurl multi uploader, both
// to the same server in the same run: 20 to a scripted loopback server, 50 to the real order
// service.
#include <benchmark/benchmark.h>

#include <curl/curl.h>
#include <cstdlib>

#include <filesystem>

#include "app/AppDelegate.h"
#include "app/SharedGlobals.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Resources.h"
#include "screens/upload/UploadView.h"
#include "tests/e2e/OrderServiceProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RunLoopTesting.h"

namespace {

constexpr int kScriptedBatch = 20;
constexpr int kOrderServiceBatch = 50;

// What every upload carries besides its photo: the order service's demo user and order.
struct Fields {
    std::string username = "demo";
    std::string password = "demo1234";
    std::string order = "1001";
    std::string location = "1";
};

std::string scriptedServer() {
    static test::LoopbackServer* instance = [] {
        auto* made = new test::LoopbackServer();
        made->route("/ipad/uploadPicPhotos.php",
                    [](const auto&) { return test::ScriptedResponse::text(200, "SUCCESS"); });
        return made;
    }();
    return instance->url("");
}

std::string orderService() {
    // Never destroyed (benchmarks may still use it while statics go), so the service is
    // stopped at exit rather than left running, holding the output pipe open.
    static apptest::OrderServiceProcess* instance = [] {
        auto* made = new apptest::OrderServiceProcess();
        std::atexit([] { instance->stop(); });
        return made;
    }();
    return instance->url();
}

// Photos as the collection screen keeps them: 640 x 480, with detail a camera would give.
const std::vector<ui::ImagePtr>& photos() {
    static const std::vector<ui::ImagePtr> made = [] {
        std::vector<ui::ImagePtr> list;
        for (int i = 0; i < kOrderServiceBatch; ++i) {
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

void uploadScreenBatch(benchmark::State& state, const std::string& server, int count) {
    if (server.empty()) {
        state.SkipWithError("the server did not start");
        return;
    }
    ui::Resources::setDirectory(std::filesystem::path(PROOFSHOT_SOURCE_DIR) / "resources");
    app::ServiceEndpoints endpoints{server, server};
    auto delegate = std::make_shared<app::AppDelegate>(endpoints);
    ui::Application::shared()->resetForTesting();
    ui::Application::shared()->launch(delegate);
    Fields fields;
    auto store = app::SharedGlobals::sharedInstance();
    store->setUsername(fields.username);
    store->setPassword(fields.password);
    store->setOrderID(fields.order);
    auto navigation = std::static_pointer_cast<ui::NavigationController>(
        delegate->window()->rootViewController());
    const app::UploadView::Photos batch(photos().begin(), photos().begin() + count);
    auto sendBatch = [&] {
        auto upload = app::UploadView::create(endpoints);
        upload->sendPhotos(batch);
        navigation->pushViewController(upload, ui::Animated::No);
        ui::Prompt::visiblePrompt()->clickButtonAtIndex(1);
        bool done = core::testing::pumpUntil(
            [&] { return upload->finishedCount() + upload->failedCount() == count; }, 60.0);
        navigation->popViewControllerAnimated(ui::Animated::No);
        return done && upload->failedCount() == 0;
    };
    // Untimed: the first batch a freshly started service takes costs it several times a later
    // one (for any client), and a first iteration that long would be taken as the result.
    if (!sendBatch()) {
        state.SkipWithError("the warm-up batch did not upload");
    }
    for (auto _ : state) {
        if (!sendBatch()) {
            state.SkipWithError("the batch did not upload");
            break;
        }
    }
    ui::Application::shared()->resetForTesting();
}

CURL* plainUpload(const std::string& target, const core::Bytes& jpeg, const Fields& fields,
                  curl_mime** mimeOut) {
    CURL* easy = curl_easy_init();
    curl_mime* mime = curl_mime_init(easy);
    for (const auto& [name, value] : {std::pair{"username", &fields.username},
                                      {"password", &fields.password},
                                      {"order", &fields.order},
                                      {"location", &fields.location}}) {
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, name);
        curl_mime_data(part, value->c_str(), CURL_ZERO_TERMINATED);
    }
    curl_mimepart* file = curl_mime_addpart(mime);
    curl_mime_name(file, "file");
    curl_mime_filename(file, "temp.jpeg");
    curl_mime_type(file, "image/jpeg");
    curl_mime_data(file, reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
    curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t count, void*) { return size * count; });
    *mimeOut = mime;
    return easy;
}

bool runAll(CURLM* multi, const std::vector<std::pair<CURL*, curl_mime*>>& transfers) {
    int running = 1;
    while (running > 0) {
        curl_multi_perform(multi, &running);
        if (running > 0) {
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
    }
    bool allOK = true;
    for (auto [easy, mime] : transfers) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        allOK = allOK && status == 200;
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
        curl_mime_free(mime);
    }
    return allOK;
}

void plainCurlMultiBatch(benchmark::State& state, const std::string& server, int count) {
    if (server.empty()) {
        state.SkipWithError("the server did not start");
        return;
    }
    std::vector<core::Bytes> jpegs;
    for (int i = 0; i < count; ++i) {
        jpegs.push_back(*ui::JPEGRepresentation(*photos()[i], 1.0));
    }
    const Fields fields;
    const std::string base = server + "/ipad/uploadPicPhotos.php?order=";
    CURLM* multi = curl_multi_init();
    auto sendBatch = [&] {
        std::vector<std::pair<CURL*, curl_mime*>> transfers;
        for (int i = 0; i < count; ++i) {
            curl_mime* mime = nullptr;
            CURL* easy = plainUpload(base + std::to_string(i), jpegs[i], fields, &mime);
            curl_multi_add_handle(multi, easy);
            transfers.emplace_back(easy, mime);
        }
        return runAll(multi, transfers);
    };
    if (!sendBatch()) {  // untimed, as for the upload screen
        state.SkipWithError("the warm-up batch was refused");
    }
    for (auto _ : state) {
        if (!sendBatch()) {
            state.SkipWithError("an upload was refused");
            break;
        }
    }
    curl_multi_cleanup(multi);
}

void UploadScreenBatch(benchmark::State& state) {
    uploadScreenBatch(state, scriptedServer(), kScriptedBatch);
}
void PlainCurlMultiBatch(benchmark::State& state) {
    plainCurlMultiBatch(state, scriptedServer(), kScriptedBatch);
}
void UploadScreenBatchToOrderService(benchmark::State& state) {
    uploadScreenBatch(state, orderService(), kOrderServiceBatch);
}
void PlainCurlMultiBatchToOrderService(benchmark::State& state) {
    plainCurlMultiBatch(state, orderService(), kOrderServiceBatch);
}

}  // namespace

BENCHMARK(UploadScreenBatch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainCurlMultiBatch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(UploadScreenBatchToOrderService)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainCurlMultiBatchToOrderService)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
