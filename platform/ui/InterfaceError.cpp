#include "platform/ui/InterfaceError.h"

namespace ui {

core::Error makeInterfaceError(InterfaceError code, const std::string& message) {
    core::Error error(std::string(InterfaceErrorDomain), static_cast<std::int64_t>(code));
    error.set(core::LocalizedDescriptionKey, message);
    return error;
}

}  // namespace ui
