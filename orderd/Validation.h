#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orderd {

enum class Location { Before = 0, After = 1 };

// Every value that reaches a file path or a query passes one of these first.

// 1 to 32 ASCII letters, digits, '-' or '_', starting with a letter or digit.
bool isValidOrderNumber(std::string_view number);
// 1 to 64 ASCII letters, digits, '.', '-', '_' or '@', starting with a letter or digit.
bool isValidUsername(std::string_view name);
// A stock picture file name: [A-Za-z0-9._-], no leading '.', a known image extension.
bool isValidStockName(std::string_view name);
// Detail lines travel in a comma-separated answer that has no quoting.
bool isValidDetailLine(std::string_view line);
// "0" or "1", nothing else.
std::optional<Location> parseLocation(std::string_view text);
// A decimal batch index from 0 to 99999, no sign, no leading zeros.
std::optional<std::uint32_t> parseBatchIndex(std::string_view text);

const char* locationFolder(Location location);
// The Content-Type for a stock picture name accepted by isValidStockName.
const char* stockContentType(std::string_view name);

}  // namespace orderd
