#pragma once

#include <memory>
#include <string_view>

#include "platform/core/Error.h"
#include "platform/core/KeyedArchiver.h"
#include "platform/core/KeyedUnarchiver.h"
#include "platform/url/URLRequest.h"
#include "platform/url/URLResponse.h"

namespace net {

// Requests, responses and errors as nested objects of a keyed archive, for archiving
// operations. A request keeps its URL, method, header fields, body, cache policy and time
// limit (a body stream cannot be archived and is left out); a response its URL, MIME type,
// length and text encoding, and for HTTP its status and header fields; an error its domain,
// code and the entries of its information that are plain values.
void encodeRequest(core::KeyedArchiver& archiver, std::string_view key,
                   const std::shared_ptr<const url::URLRequest>& request);
void encodeResponse(core::KeyedArchiver& archiver, std::string_view key,
                    const std::shared_ptr<const url::URLResponse>& response);
void encodeError(core::KeyedArchiver& archiver, std::string_view key,
                 const std::shared_ptr<const core::Error>& error);

std::shared_ptr<const url::URLRequest> decodeRequest(core::KeyedUnarchiver& coder,
                                                     std::string_view key);
std::shared_ptr<const url::URLResponse> decodeResponse(core::KeyedUnarchiver& coder,
                                                       std::string_view key);
std::shared_ptr<const core::Error> decodeError(core::KeyedUnarchiver& coder, std::string_view key);

}  // namespace net
