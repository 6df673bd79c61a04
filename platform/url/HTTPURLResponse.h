#pragma once

#include <memory>

#include "platform/url/HTTPHeaderFields.h"
#include "platform/url/URLResponse.h"

namespace url {

// An HTTP answer: status code and header fields; the MIME type, text encoding name and
// expected length are read from "Content-Type" and "Content-Length".
class HTTPURLResponse : public URLResponse {
public:
    HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headerFields);

    int statusCode() const { return statusCode_; }
    const HTTPHeaderFields& allHeaderFields() const { return headerFields_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headerFields_.get(name);
    }
    // The Content-Disposition file name when there is one.
    std::string suggestedFilename() const override;

    static std::string localizedStringForStatusCode(int statusCode);

    std::string description() const override;

private:
    int statusCode_;
    HTTPHeaderFields headerFields_;
};

}  // namespace url
