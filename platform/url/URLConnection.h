#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Object.h"
#include "platform/core/RunLoop.h"
#include "platform/url/URLAuthenticationChallengeSender.h"
#include "platform/url/URLConnectionDelegate.h"
#include "platform/url/URLRequest.h"

namespace url {

// Loads one request with libcurl, driven by the run loop it is scheduled in, and reports to
// its delegate on that loop's thread (see URLConnectionDelegate for the order of calls). The
// connection holds its delegate until the load ends or is cancelled. Schemes: http, https,
// file. Redirects and 401 challenges are put to the delegate, never followed silently.
class URLConnection final : public core::Object, public URLAuthenticationChallengeSender {
public:
    enum class StartImmediately { No, Yes };

    // With StartImmediately::Yes the connection is scheduled in the calling thread's run loop
    // in the default mode and started.
    static std::shared_ptr<URLConnection> create(
        const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate,
        StartImmediately startImmediately = StartImmediately::Yes);
    // The same without a copy of the request, which nobody may change from here on.
    static std::shared_ptr<URLConnection> create(
        std::shared_ptr<const URLRequest> request, std::shared_ptr<URLConnectionDelegate> delegate,
        StartImmediately startImmediately = StartImmediately::Yes);

    ~URLConnection() override;

    // Before start(). One run loop per connection; scheduling again in the same loop adds a
    // mode, in another loop is ignored.
    void scheduleInRunLoop(const std::shared_ptr<core::RunLoop>& runLoop, const std::string& mode);
    // Any thread; the work is posted to the scheduled loop (the caller's, in the default
    // mode, if none was chosen). A second call does nothing.
    void start();
    // Any thread. On the loop's thread no delegate call follows; from another thread, a call
    // already running may finish.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }

    const URLRequest& originalRequest() const { return *original_; }

    void useCredential(const std::shared_ptr<URLCredential>& credential,
                       const std::shared_ptr<URLAuthenticationChallenge>& challenge) override;
    void continueWithoutCredential(
        const std::shared_ptr<URLAuthenticationChallenge>& challenge) override;
    void cancelAuthenticationChallenge(
        const std::shared_ptr<URLAuthenticationChallenge>& challenge) override;

    std::string description() const override;

private:
    class Loader;
    enum class Answer { UseCredential, ContinueWithout, Cancel };

    URLConnection(std::shared_ptr<const URLRequest> request,
                  std::shared_ptr<URLConnectionDelegate> delegate);
    std::shared_ptr<URLConnection> protectedThis();
    void post(core::Task task);
    // The modes the connection runs in. Only posts and the loader use them, all after
    // start(), which fixes them: they are read without the lock.
    const std::vector<std::string>& startedModes() const;
    void answer(Answer answer, std::shared_ptr<URLCredential> credential,
                std::shared_ptr<URLAuthenticationChallenge> challenge);

    const std::shared_ptr<const URLRequest> original_;
    std::atomic<bool> cancelled_{false};

    std::mutex mutex_;
    bool started_ = false;                  // guarded by mutex_
    std::weak_ptr<core::RunLoop> runLoop_;  // guarded by mutex_
    std::vector<std::string> modes_;        // guarded by mutex_ until started, fixed after

    // Used only on the loop's thread once started (before that, only by cancel()).
    std::unique_ptr<Loader> loader_;
};

}  // namespace url
