#include "platform/url/URLAuthenticationChallenge.h"

namespace url {

URLAuthenticationChallenge::URLAuthenticationChallenge(
    URLProtectionSpace protectionSpace, std::shared_ptr<URLCredential> proposedCredential,
    int previousFailureCount, std::shared_ptr<const URLResponse> failureResponse,
    std::shared_ptr<URLAuthenticationChallengeSender> sender)
    : protectionSpace_(std::move(protectionSpace)),
      proposed_(std::move(proposedCredential)),
      previousFailureCount_(previousFailureCount),
      failureResponse_(std::move(failureResponse)),
      sender_(std::move(sender)) {}

std::shared_ptr<URLAuthenticationChallenge> URLAuthenticationChallenge::create(
    URLProtectionSpace protectionSpace, std::shared_ptr<URLCredential> proposedCredential,
    int previousFailureCount, std::shared_ptr<const URLResponse> failureResponse,
    std::shared_ptr<URLAuthenticationChallengeSender> sender) {
    return std::shared_ptr<URLAuthenticationChallenge>(new URLAuthenticationChallenge(
        std::move(protectionSpace), std::move(proposedCredential), previousFailureCount,
        std::move(failureResponse), std::move(sender)));
}

}  // namespace url
