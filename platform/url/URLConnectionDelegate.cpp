#include "platform/url/URLConnectionDelegate.h"

namespace url {

std::shared_ptr<const URLRequest> URLConnectionDelegate::willSendRequest(
    URLConnection&, std::shared_ptr<const URLRequest> request,
    const std::shared_ptr<const URLResponse>&) {
    return request;
}

bool URLConnectionDelegate::canAuthenticateAgainstProtectionSpace(URLConnection&,
                                                                  const URLProtectionSpace&) {
    return false;
}

void URLConnectionDelegate::didReceiveAuthenticationChallenge(
    URLConnection&, const std::shared_ptr<URLAuthenticationChallenge>& challenge) {
    challenge->sender()->continueWithoutCredential(challenge);
}

void URLConnectionDelegate::didReceiveResponse(URLConnection&,
                                               const std::shared_ptr<const URLResponse>&) {}

void URLConnectionDelegate::didReceiveData(URLConnection&, std::span<const std::uint8_t>) {}

void URLConnectionDelegate::didSendBodyData(URLConnection&, std::int64_t, std::int64_t,
                                            std::int64_t) {}

std::shared_ptr<const CachedURLResponse> URLConnectionDelegate::willCacheResponse(
    URLConnection&, const std::shared_ptr<const CachedURLResponse>& cachedResponse) {
    return cachedResponse;
}

void URLConnectionDelegate::didFinishLoading(URLConnection&) {}

void URLConnectionDelegate::didFailWithError(URLConnection&, const core::Error&) {}

}  // namespace url
