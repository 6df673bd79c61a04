#include "platform/url/URLError.h"

#include <memory>

namespace url {
namespace {

std::string describe(URLErrorCode code) {
    switch (code) {
        case URLErrorCode::Cancelled:
            return "cancelled";
        case URLErrorCode::BadURL:
            return "bad URL";
        case URLErrorCode::TimedOut:
            return "The request timed out.";
        case URLErrorCode::UnsupportedURL:
            return "unsupported URL";
        case URLErrorCode::CannotFindHost:
            return "A server with the specified hostname could not be found.";
        case URLErrorCode::CannotConnectToHost:
            return "Could not connect to the server.";
        case URLErrorCode::NetworkConnectionLost:
            return "The network connection was lost.";
        case URLErrorCode::HTTPTooManyRedirects:
            return "too many HTTP redirects";
        case URLErrorCode::ResourceUnavailable:
            return "resource unavailable";
        case URLErrorCode::BadServerResponse:
            return "bad server response";
        case URLErrorCode::UserCancelledAuthentication:
            return "cancelled authentication";
        case URLErrorCode::ZeroByteResource:
            return "zero byte resource";
        case URLErrorCode::RequestBodyStreamExhausted:
            return "The request body stream was already read and cannot be sent again.";
        case URLErrorCode::FileDoesNotExist:
            return "The requested file does not exist.";
        case URLErrorCode::NoPermissionsToReadFile:
            return "You don't have permission to read the requested file.";
        case URLErrorCode::DataLengthExceedsMaximum:
            return "resource exceeds maximum size";
        case URLErrorCode::SecureConnectionFailed:
            return "An SSL error has occurred and a secure connection to the server cannot be "
                   "made.";
        case URLErrorCode::Unknown:
            break;
    }
    return "unknown error";
}

}  // namespace

core::Error makeURLError(URLErrorCode code, const std::optional<URL>& failingURL) {
    return makeURLError(code, failingURL, describe(code));
}

core::Error makeURLError(URLErrorCode code, const std::optional<URL>& failingURL,
                         std::string description) {
    core::Error error(std::string(kURLErrorDomain), static_cast<std::int64_t>(code));
    error.set(core::LocalizedDescriptionKey, core::Value(std::move(description)));
    if (failingURL) {
        auto object = std::make_shared<URL>(*failingURL);
        error.set(kURLErrorFailingURLStringErrorKey, core::Value(failingURL->absoluteString()));
        error.set(core::URLErrorFailingURLErrorKey, object);
    }
    return error;
}

}  // namespace url
