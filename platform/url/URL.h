#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Object.h"

namespace url {

// An absolute URL (RFC 3986). Immutable; copies are cheap enough to pass by value.
// Parsing is libcurl's; before that, the raw text must consist only of characters that
// RFC 3986 allows, so "a b.jpg" or "x<y" is not a URL.
class URL : public core::Object {
public:
    // nullopt unless `string` is an absolute URL (it has a scheme).
    static std::optional<URL> create(std::string_view string);
    // Resolves a relative reference (or an absolute one) against `base`.
    static std::optional<URL> create(std::string_view relative, const URL& base);
    // A file URL for a local path; a relative path is taken from the working directory.
    static URL fileURL(std::string_view path);

    URL(const URL&) = default;
    URL& operator=(const URL&) = default;

    const std::string& absoluteString() const { return absolute_; }
    const std::string& scheme() const { return scheme_; }  // lower case
    const std::string& host() const { return host_; }      // empty when there is none
    std::optional<int> port() const { return port_; }      // only when the URL names one
    // Percent escapes decoded; "/" for an http URL without a path.
    const std::string& path() const { return path_; }
    const std::optional<std::string>& query() const { return query_; }  // as written
    const std::optional<std::string>& fragment() const { return fragment_; }
    const std::optional<std::string>& user() const { return user_; }  // decoded
    const std::optional<std::string>& password() const { return password_; }
    std::string lastPathComponent() const;
    std::string pathExtension() const;  // without the dot; empty when there is none
    bool isFileURL() const { return scheme_ == "file"; }
    // The port to connect to: the named one, else the scheme's default (80, 443), else 0.
    int effectivePort() const;

    std::string description() const override { return absolute_; }

    friend bool operator==(const URL& a, const URL& b) { return a.absolute_ == b.absolute_; }

private:
    URL() = default;
    static std::optional<URL> fromCurlHandle(void* handle, std::string absolute);

    std::string absolute_;
    std::string scheme_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
    std::optional<std::string> user_;
    std::optional<std::string> password_;
};

// True when every character of `text` may appear in a URL (RFC 3986 reserved and
// unreserved characters, and "%" only as the start of a two-digit hex escape).
bool hasOnlyURLCharacters(std::string_view text);

}  // namespace url
