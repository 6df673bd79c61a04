#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/core/Error.h"
#include "platform/url/CachedURLResponse.h"
#include "platform/url/URLAuthenticationChallenge.h"
#include "platform/url/URLProtectionSpace.h"
#include "platform/url/URLRequest.h"
#include "platform/url/URLResponse.h"

namespace url {

class URLConnection;

// What a URL connection tells the object that drives it. Every call comes on the thread of
// the run loop the connection is scheduled in. A load makes its calls in this order: any
// redirect and challenge questions, the response, its data, then exactly one of
// didFinishLoading and didFailWithError; none after the connection is cancelled.
class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;

    // A redirect: `request` is what would be sent next; return it (or another request) to
    // follow, nullptr to refuse, in which case the redirect answer is the response.
    virtual std::shared_ptr<const URLRequest> willSendRequest(
        URLConnection& connection, std::shared_ptr<const URLRequest> request,
        const std::shared_ptr<const URLResponse>& redirectResponse);

    // A 401 answer named this space; false delivers the 401 as the response.
    virtual bool canAuthenticateAgainstProtectionSpace(URLConnection& connection,
                                                       const URLProtectionSpace& space);
    // Answer through challenge->sender(), now or later. The default continues without one.
    virtual void didReceiveAuthenticationChallenge(
        URLConnection& connection, const std::shared_ptr<URLAuthenticationChallenge>& challenge);

    virtual void didReceiveResponse(URLConnection& connection,
                                    const std::shared_ptr<const URLResponse>& response);
    // The bytes are only valid during the call.
    virtual void didReceiveData(URLConnection& connection, std::span<const std::uint8_t> data);
    // Body bytes handed to the network: this step, the total so far, the total expected
    // (-1 when the request does not say).
    virtual void didSendBodyData(URLConnection& connection, std::int64_t bytesWritten,
                                 std::int64_t totalBytesWritten,
                                 std::int64_t totalBytesExpectedToWrite);
    // Asked once a cacheable answer has fully arrived, before didFinishLoading. This layer
    // keeps no cache of its own: what is returned is not stored, the question lets a delegate
    // see (and keep) what could be cached.
    virtual std::shared_ptr<const CachedURLResponse> willCacheResponse(
        URLConnection& connection, const std::shared_ptr<const CachedURLResponse>& cachedResponse);
    virtual void didFinishLoading(URLConnection& connection);
    virtual void didFailWithError(URLConnection& connection, const core::Error& error);
};

}  // namespace url
