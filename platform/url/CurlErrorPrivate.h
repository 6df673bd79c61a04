#pragma once

#include <curl/curl.h>

#include <optional>

#include "platform/url/URLError.h"

namespace url {

// The URL error for a libcurl failure.
URLErrorCode urlErrorCodeForCurl(CURLcode code);
core::Error urlErrorFromCurl(CURLcode code, const std::optional<URL>& failingURL);

}  // namespace url
