#include "platform/url/URLProtectionSpace.h"

#include <algorithm>

namespace url {

URLProtectionSpace::URLProtectionSpace(std::string host, int port, std::string protocol,
                                       std::optional<std::string> realm,
                                       std::string authenticationMethod)
    : host_(std::move(host)),
      port_(port),
      protocol_(std::move(protocol)),
      realm_(std::move(realm)),
      method_(std::move(authenticationMethod)) {
    std::transform(host_.begin(), host_.end(), host_.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
}

bool operator==(const URLProtectionSpace& a, const URLProtectionSpace& b) {
    return a.key() == b.key();
}

std::string URLProtectionSpace::key() const {
    // The realm is quoted so that a missing realm differs from an empty one.
    return protocol_ + "://" + host_ + ":" + std::to_string(port_) + " " + method_ + " " +
           (realm_ ? "\"" + *realm_ + "\"" : "-");
}

std::string URLProtectionSpace::description() const {
    return "<URLProtectionSpace: " + key() + ">";
}

}  // namespace url
