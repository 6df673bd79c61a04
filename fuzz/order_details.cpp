// The order-details answer ("SUCCESS,<line1>,<line2>,<line3>,<stock file>") comes from the
// network and is untrusted. Through the order search screen's own handling: the details show
// only for the SUCCESS verdict, each line shows exactly its field, and whatever the stock file
// name holds, the picture is asked of the stock store's host and nowhere else.
#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ServiceEndpoints.h"
#include "fuzz/FuzzCheck.h"
#include "platform/ui/Resources.h"
#include "platform/url/URL.h"
#include "screens/order_search/MainView.h"

namespace {

std::vector<std::string> fieldsOf(const std::string& text) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::shared_ptr<app::MainView> loadedScreen() {
    ui::Resources::setDirectory(std::filesystem::path(PROOFSHOT_SOURCE_DIR) / "resources");
    // A scheme no loader speaks: the stock picture fails at once, without traffic.
    app::ServiceEndpoints endpoints{"http://127.0.0.1:8080", "proofshot-fuzz://stock"};
    auto screen = app::MainView::create(endpoints);
    fuzz::check(screen->view() != nullptr, "the order search screen loads");
    return screen;
}

void checkStockAddress(const std::string& fileName) {
    const app::ServiceEndpoints endpoints;
    const auto location = endpoints.stockPictureURL(fileName);
    const auto address = location ? url::URL::create(*location) : std::nullopt;
    if (!address) {
        return;
    }
    fuzz::check(address->host() == "127.0.0.1" && address->port() == 8080,
                "the stock picture is asked of the stock store only");
    const std::string folder = app::ServiceEndpoints::kStockPicturePath;
    const std::string& path = address->path();
    fuzz::check(path.rfind(folder, 0) == 0 && path.find('/', folder.size()) == std::string::npos,
                "the stock picture stays in the stock picture folder");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::shared_ptr<app::MainView> screen = loadedScreen();
    FuzzedDataProvider input(data, size);
    const bool success = input.ConsumeBool();
    const std::string answer = (success ? "SUCCESS," : "") + input.ConsumeRemainingBytesAsString();
    screen->hideDetails();
    screen->processHttpResult(answer);

    auto fields = fieldsOf(answer);
    if (fields[0] != "SUCCESS") {
        fuzz::check(screen->line(1)->isHidden(), "no details without the SUCCESS verdict");
        return 0;
    }
    fields.resize(std::max<std::size_t>(fields.size(), 5));
    for (int line = 1; line <= 3; ++line) {
        fuzz::check(!screen->line(line)->isHidden(), "the details show on SUCCESS");
        fuzz::check(screen->line(line)->text() == fields[static_cast<std::size_t>(line)],
                    "each line shows exactly its field");
    }
    checkStockAddress(fields[4]);
    return 0;
}
