#pragma once

#include <string>
#include <string_view>

#include "platform/core/Error.h"

namespace ui {

// Failures of loading an interface description and connecting it to its owner. Each message
// names the resource and the key that went wrong.
inline constexpr std::string_view InterfaceErrorDomain = "InterfaceDescriptionErrorDomain";

enum class InterfaceError {
    MissingResource = 1,
    Syntax = 2,
    UnknownClass = 3,
    UnknownProperty = 4,
    BadValue = 5,
    UnknownOutlet = 6,
    UnknownAction = 7,
    OutletTypeMismatch = 8,
};

core::Error makeInterfaceError(InterfaceError code, const std::string& message);

}  // namespace ui
