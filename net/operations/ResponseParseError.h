#pragma once

#include <string>
#include <string_view>

#include "platform/core/Error.h"

namespace net {

// Bodies that a typed operation could not read: JSON that is not JSON, a broken property list.
inline constexpr std::string_view ResponseParseErrorDomain = "ResponseParseErrorDomain";
// The platform's code for data that is corrupt in the format it claims.
inline constexpr std::int64_t ResponseParseCorruptError = 3840;

// "<what>: <detail>" as the localized description.
core::Error responseParseError(std::string_view what, std::string_view detail);

}  // namespace net
