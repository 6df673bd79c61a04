#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/core/Object.h"

namespace url {

// An absolute URL (RFC 3986). Immutable: copies share the parsed parts, so a URL passes by
// value for the price of a reference count.
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

    const std::string& absoluteString() const { return parts_->absolute; }
    const std::string& scheme() const { return parts_->scheme; }  // lower case
    const std::string& host() const { return parts_->host; }      // empty when there is none
    std::optional<int> port() const { return parts_->port; }      // only when the URL names one
    // Percent escapes decoded; "/" for an http URL without a path.
    const std::string& path() const { return parts_->path; }
    const std::optional<std::string>& query() const { return parts_->query; }  // as written
    const std::optional<std::string>& fragment() const { return parts_->fragment; }
    const std::optional<std::string>& user() const { return parts_->user; }  // decoded
    const std::optional<std::string>& password() const { return parts_->password; }
    std::string lastPathComponent() const;
    std::string pathExtension() const;  // without the dot; empty when there is none
    bool isFileURL() const { return parts_->scheme == "file"; }
    // The port to connect to: the named one, else the scheme's default (80, 443), else 0.
    int effectivePort() const;

    std::string description() const override { return parts_->absolute; }

    friend bool operator==(const URL& a, const URL& b) {
        return a.parts_ == b.parts_ || a.parts_->absolute == b.parts_->absolute;
    }

private:
    struct Parts {
        std::string absolute;
        std::string scheme;
        std::string host;
        std::optional<int> port;
        std::string path;
        std::optional<std::string> query;
        std::optional<std::string> fragment;
        std::optional<std::string> user;
        std::optional<std::string> password;
    };

    explicit URL(std::shared_ptr<const Parts> parts) : parts_(std::move(parts)) {}
    static std::optional<URL> fromCurlHandle(void* handle, std::string absolute);

    std::shared_ptr<const Parts> parts_;  // never null
};

// True when every character of `text` may appear in a URL (RFC 3986 reserved and
// unreserved characters, and "%" only as the start of a two-digit hex escape).
bool hasOnlyURLCharacters(std::string_view text);

}  // namespace url
