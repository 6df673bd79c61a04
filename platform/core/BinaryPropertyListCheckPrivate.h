#pragma once

#include <cstddef>
#include <cstdint>

namespace core::archive {

// Whether a binary property list is safe to hand to libplist: its trailer, offsets and
// references are in bounds, containers nest no deeper than maxDepth, and expanding shared
// references yields no more than maxNodes nodes. libplist's parser recurses once per level
// and copies a shared object once per reference, so a small hostile file could otherwise
// exhaust the stack or the memory.
bool isSafeBinaryPropertyList(const std::uint8_t* data, std::size_t length, int maxDepth,
                              std::size_t maxNodes);

}  // namespace core::archive
