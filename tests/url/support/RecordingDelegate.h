#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/url/URLConnection.h"

namespace test {

// Records every delegate call in order. Answers are scripted through the public members,
// which a test sets before starting the connection.
class RecordingDelegate : public url::URLConnectionDelegate {
public:
    struct Upload {
        std::int64_t bytes;
        std::int64_t total;
        std::int64_t expected;
    };
    using ChallengeHandler = std::function<void(
        url::URLConnection&, const std::shared_ptr<url::URLAuthenticationChallenge>&)>;

    // Scripted answers.
    bool followRedirects = true;
    ChallengeHandler onChallenge;  // unset: the protection space is declined
    std::function<void(url::URLConnection&)> onData;

    std::shared_ptr<const url::URLRequest> willSendRequest(
        url::URLConnection&, std::shared_ptr<const url::URLRequest> request,
        const std::shared_ptr<const url::URLResponse>& redirectResponse) override;
    bool canAuthenticateAgainstProtectionSpace(url::URLConnection&,
                                               const url::URLProtectionSpace& space) override;
    void didReceiveAuthenticationChallenge(
        url::URLConnection& connection,
        const std::shared_ptr<url::URLAuthenticationChallenge>& challenge) override;
    void didReceiveResponse(url::URLConnection&,
                            const std::shared_ptr<const url::URLResponse>& response) override;
    void didReceiveData(url::URLConnection& connection,
                        std::span<const std::uint8_t> data) override;
    void didSendBodyData(url::URLConnection&, std::int64_t bytes, std::int64_t total,
                         std::int64_t expected) override;
    std::shared_ptr<const url::CachedURLResponse> willCacheResponse(
        url::URLConnection&, const std::shared_ptr<const url::CachedURLResponse>& cached) override;
    void didFinishLoading(url::URLConnection&) override;
    void didFailWithError(url::URLConnection&, const core::Error& error) override;

    // Thread-safe readers.
    bool ended() const { return locked(ended_); }
    // "redirect 302", "response 200", "data", ...
    std::vector<std::string> events() const { return locked(events_); }
    std::string body() const { return locked(body_); }
    std::shared_ptr<const url::URLResponse> response() const { return locked(response_); }
    std::optional<core::Error> error() const { return locked(error_); }
    std::vector<Upload> uploads() const { return locked(uploads_); }
    std::vector<std::shared_ptr<url::URLAuthenticationChallenge>> challenges() const {
        return locked(challenges_);
    }
    std::vector<std::thread::id> threads() const { return locked(threads_); }
    size_t callCount() const { return events().size(); }
    // The events with runs of "data" folded into one.
    std::vector<std::string> outline() const;

private:
    void record(std::string event);
    template <class T>
    T locked(const T& member) const {
        std::lock_guard lock(mutex_);
        return member;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;
    std::string body_;
    std::shared_ptr<const url::URLResponse> response_;
    std::optional<core::Error> error_;
    std::vector<Upload> uploads_;
    std::vector<std::shared_ptr<url::URLAuthenticationChallenge>> challenges_;
    bool ended_ = false;
};

}  // namespace test
