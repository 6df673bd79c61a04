#pragma once

#include <optional>
#include <string>

#include "platform/core/Object.h"

namespace url {

// Authentication method names, as the platform spells them.
inline constexpr const char* kAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
inline constexpr const char* kAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* kAuthenticationMethodHTTPDigest =
    "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* kAuthenticationMethodServerTrust =
    "NSURLAuthenticationMethodServerTrust";
inline constexpr const char* kAuthenticationMethodClientCertificate =
    "NSURLAuthenticationMethodClientCertificate";

// Where a credential applies: a host, port and protocol, a realm and a method.
class URLProtectionSpace : public core::Object {
public:
    URLProtectionSpace(std::string host, int port, std::string protocol,
                       std::optional<std::string> realm, std::string authenticationMethod);
    URLProtectionSpace(const URLProtectionSpace&) = default;

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    const std::string& protocol() const { return protocol_; }  // the URL scheme: "http", "https"
    const std::optional<std::string>& realm() const { return realm_; }
    const std::string& authenticationMethod() const { return method_; }

    // Host compared without case; everything else exactly.
    friend bool operator==(const URLProtectionSpace& a, const URLProtectionSpace& b);
    // A text that is equal for equal spaces, for keying stores.
    std::string key() const;

    std::string description() const override;

private:
    std::string host_;
    int port_;
    std::string protocol_;
    std::optional<std::string> realm_;
    std::string method_;
};

}  // namespace url
