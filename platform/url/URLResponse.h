#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/Object.h"
#include "platform/url/URL.h"

namespace url {

// What a load answered, independent of protocol. HTTPURLResponse adds status and headers.
class URLResponse : public core::Object {
public:
    static constexpr std::int64_t kUnknownLength = -1;

    URLResponse(URL url, std::optional<std::string> mimeType, std::int64_t expectedContentLength,
                std::optional<std::string> textEncodingName);

    const URL& url() const { return url_; }
    // The content type without parameters, lower-cased; nullopt when none was given.
    const std::optional<std::string>& mimeType() const { return mimeType_; }
    // -1 (kUnknownLength) when the length was not announced.
    std::int64_t expectedContentLength() const { return expectedContentLength_; }
    // The charset parameter of the content type, lower-cased, if any.
    const std::optional<std::string>& textEncodingName() const { return textEncodingName_; }
    // A file name for saving the body: the URL's last path component, or "Unknown".
    virtual std::string suggestedFilename() const;

    std::string description() const override;

protected:
    URL url_;
    std::optional<std::string> mimeType_;
    std::int64_t expectedContentLength_;
    std::optional<std::string> textEncodingName_;
};

}  // namespace url
