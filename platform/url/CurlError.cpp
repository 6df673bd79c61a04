#include "platform/url/CurlErrorPrivate.h"

namespace url {

URLErrorCode urlErrorCodeForCurl(CURLcode code) {
    switch (code) {
        case CURLE_URL_MALFORMAT:
            return URLErrorCode::BadURL;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return URLErrorCode::CannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return URLErrorCode::CannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return URLErrorCode::TimedOut;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return URLErrorCode::NetworkConnectionLost;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return URLErrorCode::SecureConnectionFailed;
        // Every caller turns away schemes other than http, https and file before libcurl sees
        // the URL, so libcurl refusing the protocol means the answer was no HTTP it accepts
        // (a status line of garbage reads as HTTP/0.9, an unknown version is refused).
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP_RETURNED_ERROR:
            return URLErrorCode::BadServerResponse;
        case CURLE_TOO_MANY_REDIRECTS:
            return URLErrorCode::HTTPTooManyRedirects;
        case CURLE_FILESIZE_EXCEEDED:
            return URLErrorCode::DataLengthExceedsMaximum;
        case CURLE_FILE_COULDNT_READ_FILE:
            return URLErrorCode::FileDoesNotExist;
        case CURLE_REMOTE_ACCESS_DENIED:
            return URLErrorCode::NoPermissionsToReadFile;
        default:
            return URLErrorCode::Unknown;
    }
}

core::Error urlErrorFromCurl(CURLcode code, const std::optional<URL>& failingURL) {
    URLErrorCode mapped = urlErrorCodeForCurl(code);
    if (mapped == URLErrorCode::Unknown) {
        return makeURLError(mapped, failingURL, curl_easy_strerror(code));
    }
    return makeURLError(mapped, failingURL);
}

}  // namespace url
