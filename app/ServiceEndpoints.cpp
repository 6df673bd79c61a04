#include "app/ServiceEndpoints.h"

namespace app {

namespace {

bool isOnePathSegment(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    if (name.find_first_of("/\\?#") != std::string::npos) {
        return false;
    }
    // Percent-encoded dots and slashes are decoded by some servers before they resolve paths.
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower.find("%2e") == std::string::npos && lower.find("%2f") == std::string::npos &&
           lower.find("%5c") == std::string::npos;
}

}  // namespace

std::optional<std::string> ServiceEndpoints::stockPictureURL(const std::string& fileName) const {
    if (!isOnePathSegment(fileName)) {
        return std::nullopt;
    }
    std::string base = stockStore;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + kStockPicturePath + fileName;
}

}  // namespace app
