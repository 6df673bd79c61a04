#include "tests/url/support/RecordingDelegate.h"

#include "platform/url/HTTPURLResponse.h"

namespace test {

void RecordingDelegate::record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    threads_.push_back(std::this_thread::get_id());
}

std::shared_ptr<const url::URLRequest> RecordingDelegate::willSendRequest(
    url::URLConnection&, std::shared_ptr<const url::URLRequest> request,
    const std::shared_ptr<const url::URLResponse>& redirectResponse) {
    auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(redirectResponse);
    record("redirect " + std::to_string(http ? http->statusCode() : 0));
    return followRedirects ? request : nullptr;
}

bool RecordingDelegate::canAuthenticateAgainstProtectionSpace(url::URLConnection&,
                                                              const url::URLProtectionSpace&) {
    record("can authenticate");
    return static_cast<bool>(onChallenge);
}

void RecordingDelegate::didReceiveAuthenticationChallenge(
    url::URLConnection& connection,
    const std::shared_ptr<url::URLAuthenticationChallenge>& challenge) {
    record("challenge " + std::to_string(challenge->previousFailureCount()));
    {
        std::lock_guard lock(mutex_);
        challenges_.push_back(challenge);
    }
    onChallenge(connection, challenge);
}

void RecordingDelegate::didReceiveResponse(
    url::URLConnection&, const std::shared_ptr<const url::URLResponse>& response) {
    auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(response);
    record("response " + std::to_string(http ? http->statusCode() : 0));
    std::lock_guard lock(mutex_);
    response_ = response;
}

void RecordingDelegate::didReceiveData(url::URLConnection& connection,
                                       std::span<const std::uint8_t> data) {
    record("data");
    {
        std::lock_guard lock(mutex_);
        body_.append(data.begin(), data.end());
    }
    if (onData) {
        onData(connection);
    }
}

void RecordingDelegate::didSendBodyData(url::URLConnection&, std::int64_t bytes, std::int64_t total,
                                        std::int64_t expected) {
    record("sent");
    std::lock_guard lock(mutex_);
    uploads_.push_back({bytes, total, expected});
}

std::shared_ptr<const url::CachedURLResponse> RecordingDelegate::willCacheResponse(
    url::URLConnection&, const std::shared_ptr<const url::CachedURLResponse>& cached) {
    record("cache " + std::to_string(cached->data().size()));
    return cached;
}

void RecordingDelegate::didFinishLoading(url::URLConnection&) {
    record("finish");
    std::lock_guard lock(mutex_);
    ended_ = true;
}

void RecordingDelegate::didFailWithError(url::URLConnection&, const core::Error& error) {
    record("fail " + std::to_string(error.code()));
    std::lock_guard lock(mutex_);
    error_ = error;
    ended_ = true;
}

std::vector<std::string> RecordingDelegate::outline() const {
    std::vector<std::string> folded;
    for (auto& event : events()) {
        if (event != "data" || folded.empty() || folded.back() != "data") {
            folded.push_back(event);
        }
    }
    return folded;
}

}  // namespace test
