#include "tests/load/UploadRun.h"

#include <fstream>
#include <regex>

#include "platform/ui/Bitmap.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/ViewTransition.h"
#include "platform/url/URLRequest.h"
#include "screens/upload/UploadView.h"

namespace loadtest {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> failureLines(const core::Log::Capture& log) {
    std::vector<std::string> lines;
    for (const auto& message : log.messages()) {
        if (message.starts_with("error: ")) {
            lines.push_back(message);
        }
    }
    return lines;
}

// The batch index in the first upload URL a failure line names, or -1.
int failedIndex(const std::string& line) {
    static const std::regex uploadURL("uploadPicPhotos\\.php\\?order=([0-9]+)");
    std::smatch match;
    return std::regex_search(line, match, uploadURL) ? std::stoi(match[1]) : -1;
}

void noteFailures(const core::Log::Capture& log, std::size_t linesBefore, BatchReport& report) {
    const auto lines = failureLines(log);
    report.failureLines = static_cast<int>(lines.size() - linesBefore);
    for (std::size_t n = linesBefore; n < lines.size(); ++n) {
        report.failedIndices.insert(failedIndex(lines[n]));
        report.failures += lines[n] + "\n";
    }
}

// Request time-outs count idle time on the loop's clock, which the harness makes virtual.
constexpr double kPastTheTimeOut = url::URLRequest::kDefaultTimeoutInterval + 1.0;

}  // namespace

std::vector<ui::ImagePtr> makePhotos(int count, int firstSerial, int width, int height) {
    std::vector<ui::ImagePtr> photos;
    for (int n = 0; n < count; ++n) {
        const int serial = firstSerial + n;
        auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = bitmap->row(y);
            for (int x = 0; x < width; ++x) {
                row[3 * x] = static_cast<std::uint8_t>(serial);
                row[3 * x + 1] = static_cast<std::uint8_t>(serial >> 8);
                row[3 * x + 2] = static_cast<std::uint8_t>((x * 7) ^ (y * 13));
            }
        }
        auto jpeg = ui::JPEGEncoder::encode(*bitmap, 90);
        photos.push_back(*ui::Image::create(*jpeg));
    }
    return photos;
}

BatchReport uploadBatch(apptest::AppHarness& app, const app::ServiceEndpoints& endpoints,
                        const std::vector<ui::ImagePtr>& photos,
                        const std::function<void()>& whileRunning, const Stalls& stalls) {
    BatchReport report;
    const std::size_t linesBefore = failureLines(app.log).size();
    auto upload = app::UploadView::create(endpoints);
    upload->sendPhotos(photos);
    app.navigation()->pushViewController(upload, ui::Animated::No);
    if (!app.driver.advance(ui::ViewTransition::kNavigationDuration) ||
        !app.driver.answer("After Folder")) {
        return report;
    }
    const auto total = static_cast<int>(photos.size());
    auto settled = [&] { return upload->finishedCount() + upload->failedCount() == total; };
    if (whileRunning) {
        app.driver.pumpUntil([&] { return upload->finishedCount() > 0 || settled(); }, 60.0);
        whileRunning();
    }
    if (stalls.count > 0) {
        auto othersEnded = [&] {
            return upload->finishedCount() + upload->failedCount() == total - stalls.count &&
                   stalls.held();
        };
        if (app.driver.pumpUntil(othersEnded, 60.0)) {
            (void)app.driver.advance(kPastTheTimeOut);
        }
    }
    report.ended = app.driver.pumpUntil(settled, 60.0);
    // A block that ran twice would show up now.
    (void)app.driver.advance(0.5);
    report.acknowledged = upload->finishedCount();
    report.failed = upload->failedCount();
    noteFailures(app.log, linesBefore, report);
    ui::Prompt::removeAllForTesting();
    app.navigation()->popViewControllerAnimated(ui::Animated::No);
    return report;
}

std::multimap<int, std::string> newlyStored(const std::filesystem::path& folder,
                                            std::map<std::string, bool>& seen) {
    std::multimap<int, std::string> stored;
    if (!std::filesystem::exists(folder)) {
        return stored;
    }
    static const std::regex batchIndex("-([0-9]+)-[^-]+\\.jpg$");
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::smatch match;
        if (seen[name] || !std::regex_search(name, match, batchIndex)) {
            continue;
        }
        seen[name] = true;
        stored.emplace(std::stoi(match[1]), readFile(entry.path()));
    }
    return stored;
}

std::string sentBytes(const ui::Image& photo) {
    auto jpeg = ui::JPEGRepresentation(photo, 1.0);
    return jpeg ? std::string(jpeg->begin(), jpeg->end()) : std::string();
}

int portOf(const std::string& address) {
    const auto colon = address.rfind(':');
    return colon == std::string::npos ? 0 : std::stoi(address.substr(colon + 1));
}

}  // namespace loadtest
