#pragma once

#include <memory>

namespace url {

class URLAuthenticationChallenge;
class URLCredential;

// Who waits for the answer to a challenge. Answers may come on any thread, at once or later;
// only the first answer to a challenge counts.
class URLAuthenticationChallengeSender {
public:
    virtual ~URLAuthenticationChallengeSender() = default;

    virtual void useCredential(const std::shared_ptr<URLCredential>& credential,
                               const std::shared_ptr<URLAuthenticationChallenge>& challenge) = 0;
    // The server's refusal (the 401 answer) is then delivered as the response.
    virtual void continueWithoutCredential(
        const std::shared_ptr<URLAuthenticationChallenge>& challenge) = 0;
    // The load fails with URLErrorCode::UserCancelledAuthentication.
    virtual void cancelAuthenticationChallenge(
        const std::shared_ptr<URLAuthenticationChallenge>& challenge) = 0;
};

}  // namespace url
