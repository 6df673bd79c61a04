#pragma once

#include <memory>

#include "platform/core/Object.h"
#include "platform/url/URLAuthenticationChallengeSender.h"
#include "platform/url/URLCredential.h"
#include "platform/url/URLProtectionSpace.h"
#include "platform/url/URLResponse.h"

namespace url {

// A server's demand for credentials, and the means to answer it.
class URLAuthenticationChallenge : public core::Object {
public:
    static std::shared_ptr<URLAuthenticationChallenge> create(
        URLProtectionSpace protectionSpace, std::shared_ptr<URLCredential> proposedCredential,
        int previousFailureCount, std::shared_ptr<const URLResponse> failureResponse,
        std::shared_ptr<URLAuthenticationChallengeSender> sender);

    const URLProtectionSpace& protectionSpace() const { return protectionSpace_; }
    // The store's default credential for the space, if any.
    const std::shared_ptr<URLCredential>& proposedCredential() const { return proposed_; }
    // How many credentials for this space the same load has already had refused.
    int previousFailureCount() const { return previousFailureCount_; }
    const std::shared_ptr<const URLResponse>& failureResponse() const { return failureResponse_; }
    const std::shared_ptr<URLAuthenticationChallengeSender>& sender() const { return sender_; }

private:
    URLAuthenticationChallenge(URLProtectionSpace protectionSpace,
                               std::shared_ptr<URLCredential> proposedCredential,
                               int previousFailureCount,
                               std::shared_ptr<const URLResponse> failureResponse,
                               std::shared_ptr<URLAuthenticationChallengeSender> sender);

    URLProtectionSpace protectionSpace_;
    std::shared_ptr<URLCredential> proposed_;
    int previousFailureCount_;
    std::shared_ptr<const URLResponse> failureResponse_;
    std::shared_ptr<URLAuthenticationChallengeSender> sender_;
};

}  // namespace url
