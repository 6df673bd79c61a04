#pragma once

#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace net {

// Compact JSON (no added white space), maps in their own order. None for a tree JSON cannot
// hold: raw bytes, a number that is not finite.
std::optional<std::string> JSONText(const core::Value& tree);

// An XML property list, version 1.0. None for a tree a property list cannot hold: a null.
std::optional<std::string> propertyListXMLText(const core::Value& tree);

}  // namespace net
