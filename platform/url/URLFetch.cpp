#include "platform/url/URLFetch.h"

#include <curl/curl.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/url/CurlErrorPrivate.h"
#include "platform/url/CurlMultiDriverPrivate.h"

namespace url {
namespace {

struct Sink {
    core::Bytes bytes;
    std::size_t maxBytes;
    bool tooLarge = false;
};

size_t collect(char* data, size_t size, size_t count, void* opaque) {
    auto* sink = static_cast<Sink*>(opaque);
    size_t length = size * count;
    if (sink->bytes.size() + length > sink->maxBytes) {
        sink->tooLarge = true;
        return 0;
    }
    sink->bytes.insert(sink->bytes.end(), data, data + length);
    return length;
}

core::Expected<core::Bytes> readFile(const URL& url, std::size_t maxBytes) {
    std::ifstream file(url.path(), std::ios::binary);
    if (!file) {
        auto code = errno == EACCES ? URLErrorCode::NoPermissionsToReadFile
                                    : URLErrorCode::FileDoesNotExist;
        return makeURLError(code, url);
    }
    core::Bytes bytes;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        if (bytes.size() + static_cast<size_t>(file.gcount()) > maxBytes) {
            return makeURLError(URLErrorCode::DataLengthExceedsMaximum, url);
        }
        bytes.insert(bytes.end(), chunk, chunk + file.gcount());
    }
    if (file.bad()) {
        return makeURLError(URLErrorCode::FileDoesNotExist, url, "The file could not be read.");
    }
    return bytes;
}

}  // namespace

core::Expected<core::Bytes> fetchContents(const URL& url, double timeoutSeconds,
                                          std::size_t maxBytes) {
    if (url.isFileURL()) {
        return readFile(url, maxBytes);
    }
    if (url.scheme() != "http" && url.scheme() != "https") {
        return makeURLError(URLErrorCode::UnsupportedURL, url);
    }
    ensureCurlInitialized();
    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        return makeURLError(URLErrorCode::Unknown, url, "The transfer could not start.");
    }
    Sink sink{{}, maxBytes};
    curl_easy_setopt(easy, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     std::max(1L, static_cast<long>(std::lround(timeoutSeconds * 1000))));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    if (sink.tooLarge) {
        return makeURLError(URLErrorCode::DataLengthExceedsMaximum, url);
    }
    if (result != CURLE_OK) {
        return urlErrorFromCurl(result, url);
    }
    if (status >= 400) {
        return makeURLError(URLErrorCode::BadServerResponse, url,
                            "The server answered with status " + std::to_string(status) + ".");
    }
    return std::move(sink.bytes);
}

}  // namespace url
