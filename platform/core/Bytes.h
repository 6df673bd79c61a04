#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// A byte buffer: request and response bodies, file contents, encoded text.
using Bytes = std::vector<std::uint8_t>;

// The bytes of a text as they are, with no change of encoding.
Bytes bytesFromString(std::string_view text);

// The bytes as they are, read as a std::string (no validation of any encoding).
std::string stringFromBytes(const Bytes& bytes);

// The platform's description of raw bytes: lower-case hex in groups of four bytes between
// angle brackets, "<0a1b2c3d 4e>"; no bytes give "<>".
std::string hexDescription(const Bytes& bytes);

}  // namespace core
