#pragma once

#include <optional>

#include "platform/core/Error.h"
#include "platform/url/URL.h"

namespace url {

// The error domain of URL loading, under the platform's own name.
inline constexpr std::string_view kURLErrorDomain = "NSURLErrorDomain";
// The failing URL as text. The URL object itself goes under core::URLErrorFailingURLErrorKey,
// the one key every layer reads the failing URL from.
inline constexpr std::string_view kURLErrorFailingURLStringErrorKey = "ErrorFailingURLStringKey";

// Codes of kURLErrorDomain, with the platform's values.
enum class URLErrorCode : std::int64_t {
    Unknown = -1,
    Cancelled = -999,
    BadURL = -1000,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    ResourceUnavailable = -1008,
    BadServerResponse = -1011,
    UserCancelledAuthentication = -1012,
    ZeroByteResource = -1014,
    RequestBodyStreamExhausted = -1021,
    FileDoesNotExist = -1100,
    NoPermissionsToReadFile = -1102,
    DataLengthExceedsMaximum = -1103,
    SecureConnectionFailed = -1200,
};

// An error of kURLErrorDomain with a readable description and, when given, the failing URL
// (as text and as the URL object).
core::Error makeURLError(URLErrorCode code, const std::optional<URL>& failingURL);
// Same with a description of the caller's own.
core::Error makeURLError(URLErrorCode code, const std::optional<URL>& failingURL,
                         std::string description);

}  // namespace url
