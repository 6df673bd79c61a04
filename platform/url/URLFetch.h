#pragma once

#include <cstddef>

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/url/URL.h"

namespace url {

// The bytes a URL names, fetched on the calling thread (its own libcurl handle; no run loop,
// no network thread) within `timeoutSeconds`. Redirects are followed; an HTTP status of 400
// or more is a failure (BadServerResponse), not a body. File URLs are read from disk. A body
// larger than `maxBytes` fails with DataLengthExceedsMaximum.
core::Expected<core::Bytes> fetchContents(const URL& url, double timeoutSeconds = 60.0,
                                          std::size_t maxBytes = 64u << 20);

}  // namespace url
