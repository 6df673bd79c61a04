#include "shell/desktop/StepScreenshots.h"

namespace shell {

StepScreenshots::StepScreenshots(std::ostream& out, ScreenshotRecorder& recorder)
    : std::ostream(static_cast<std::streambuf*>(this)), out_(out), recorder_(recorder) {}

int StepScreenshots::overflow(int c) {
    if (c == std::streambuf::traits_type::eof()) {
        return std::streambuf::traits_type::not_eof(c);
    }
    out_.put(static_cast<char>(c));
    if (c == '\n') {
        endLine();
    } else {
        line_ += static_cast<char>(c);
    }
    return c;
}

void StepScreenshots::endLine() {
    std::string line = std::move(line_);
    line_.clear();
    constexpr std::string_view kMark = "== ";
    if (line.size() > 2 * kMark.size() && line.starts_with(kMark) && line.ends_with(" ==")) {
        std::string title = line.substr(kMark.size(), line.size() - 2 * kMark.size());
        if (auto written = recorder_.record(title); !written) {
            errors_ += title + ": " + written.error().localizedDescription() + "\n";
        }
    }
}

}  // namespace shell
