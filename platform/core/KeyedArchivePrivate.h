#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/core/Coding.h"
#include "platform/core/Error.h"

// The container format shared by KeyedArchiver and KeyedUnarchiver; see KeyedArchiver.h.
namespace core::archive {

inline constexpr const char* kArchiverKey = "$archiver";
inline constexpr const char* kArchiverName = "ProofshotKeyedArchiver";
inline constexpr const char* kVersionKey = "$version";
inline constexpr std::uint64_t kVersion = 1;
inline constexpr const char* kTopKey = "$top";
inline constexpr const char* kClassKey = "$class";
inline constexpr const char* kFieldsKey = "$fields";
inline constexpr const char* kValueKey = "$value";
inline constexpr const char* kSetKey = "$set";
inline constexpr const char* kNullKey = "$null";
inline constexpr const char* kMapKeysKey = "$keys";
inline constexpr const char* kMapValuesKey = "$values";
inline constexpr const char* kRootObjectKey = "root";

// Deeper nesting than this is refused both ways, so a hostile archive cannot exhaust the
// stack.
inline constexpr int kMaxDepth = 64;
// The same limits on the property list underneath: each object or value level takes a few
// property-list levels.
inline constexpr int kMaxPropertyListDepth = 8 * kMaxDepth;
inline constexpr std::size_t kMaxPropertyListNodes = std::size_t{1} << 20;

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

inline Error coderError(CoderError code, std::string description) {
    Error error(std::string(CoderErrorDomain), static_cast<std::int64_t>(code));
    error.set(LocalizedDescriptionKey, Value(std::move(description)));
    return error;
}

}  // namespace core::archive
