#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/core/Bytes.h"
#include "platform/core/Object.h"
#include "platform/url/HTTPHeaderFields.h"
#include "platform/url/URL.h"

namespace core {
class InputStream;
}

namespace url {

class MutableURLRequest;

// Values are those of the platform this layer stands in for.
enum class URLRequestCachePolicy : int {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
};

// A request that no longer changes. MutableURLRequest is the editable form; each copies into
// the other.
class URLRequest : public core::Object {
public:
    static constexpr double kDefaultTimeoutInterval = 60.0;

    explicit URLRequest(
        std::optional<URL> url = std::nullopt,
        URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
        double timeoutInterval = kDefaultTimeoutInterval);
    URLRequest(const URLRequest&) = default;
    URLRequest& operator=(const URLRequest&) = default;

    const std::optional<URL>& url() const { return url_; }
    const std::string& httpMethod() const { return method_; }
    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headers_.get(name);
    }
    // At most one of the two is set.
    const std::optional<core::Bytes>& httpBody() const { return body_; }
    const std::shared_ptr<core::InputStream>& httpBodyStream() const { return bodyStream_; }
    URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    double timeoutInterval() const { return timeoutInterval_; }
    bool httpShouldHandleCookies() const { return shouldHandleCookies_; }

    MutableURLRequest mutableCopy() const;

    std::string description() const override;

protected:
    std::optional<URL> url_;
    std::string method_ = "GET";
    HTTPHeaderFields headers_;
    std::optional<core::Bytes> body_;
    std::shared_ptr<core::InputStream> bodyStream_;
    URLRequestCachePolicy cachePolicy_;
    double timeoutInterval_;
    bool shouldHandleCookies_ = true;
};

class MutableURLRequest : public URLRequest {
public:
    using URLRequest::URLRequest;
    explicit MutableURLRequest(const URLRequest& request) : URLRequest(request) {}

    void setURL(std::optional<URL> url) { url_ = std::move(url); }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }
    // Replaces the value, keeping the spelling the field was first given; nullopt removes it.
    void setValue(std::optional<std::string> value, std::string_view field);
    void addValue(std::string_view value, std::string_view field) { headers_.add(field, value); }
    void setAllHTTPHeaderFields(HTTPHeaderFields fields) { headers_ = std::move(fields); }
    // Setting one kind of body drops the other.
    void setHTTPBody(std::optional<core::Bytes> body);
    void setHTTPBodyStream(std::shared_ptr<core::InputStream> stream);
    void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    void setHTTPShouldHandleCookies(bool handle) { shouldHandleCookies_ = handle; }

    URLRequest copy() const { return URLRequest(*this); }
};

}  // namespace url
