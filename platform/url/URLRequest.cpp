#include "platform/url/URLRequest.h"

namespace url {

URLRequest::URLRequest(std::optional<URL> url, URLRequestCachePolicy cachePolicy,
                       double timeoutInterval)
    : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

MutableURLRequest URLRequest::mutableCopy() const {
    return MutableURLRequest(*this);
}

std::string URLRequest::description() const {
    return "<URLRequest: " + method_ + " " + (url_ ? url_->absoluteString() : "(no URL)") + ">";
}

void MutableURLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    if (value) {
        headers_.set(field, std::move(*value));
    } else {
        headers_.remove(field);
    }
}

void MutableURLRequest::setHTTPBody(std::optional<core::Bytes> body) {
    body_ = std::move(body);
    bodyStream_.reset();
}

void MutableURLRequest::setHTTPBodyStream(std::shared_ptr<core::InputStream> stream) {
    bodyStream_ = std::move(stream);
    body_.reset();
}

}  // namespace url
