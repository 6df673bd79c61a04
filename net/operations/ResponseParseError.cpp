#include "net/operations/ResponseParseError.h"

namespace net {

core::Error responseParseError(std::string_view what, std::string_view detail) {
    core::Error error{std::string(ResponseParseErrorDomain), ResponseParseCorruptError};
    std::string description(what);
    if (!detail.empty()) {
        description.append(": ").append(detail);
    }
    error.set(core::LocalizedDescriptionKey, core::Value(std::move(description)));
    return error;
}

}  // namespace net
