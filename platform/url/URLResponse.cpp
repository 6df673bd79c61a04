#include "platform/url/URLResponse.h"

namespace url {

URLResponse::URLResponse(URL url, std::optional<std::string> mimeType,
                         std::int64_t expectedContentLength,
                         std::optional<std::string> textEncodingName)
    : url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      expectedContentLength_(expectedContentLength),
      textEncodingName_(std::move(textEncodingName)) {}

std::string URLResponse::suggestedFilename() const {
    std::string last = url_.lastPathComponent();
    return last.empty() || last == "/" ? "Unknown" : last;
}

std::string URLResponse::description() const {
    return "<URLResponse: " + url_.absoluteString() + ", " + mimeType_.value_or("(no type)") + ">";
}

}  // namespace url
