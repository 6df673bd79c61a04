#include "orderd/Validation.h"

#include <algorithm>
#include <array>

namespace orderd {
namespace {

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool allOf(std::string_view text, std::string_view extra) {
    return std::all_of(text.begin(), text.end(), [extra](char c) {
        return isAsciiAlnum(c) || extra.find(c) != std::string_view::npos;
    });
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

struct ImageType {
    std::string_view extension;
    const char* contentType;
};

constexpr std::array<ImageType, 4> kImageTypes{{{".jpg", "image/jpeg"},
                                                {".jpeg", "image/jpeg"},
                                                {".png", "image/png"},
                                                {".gif", "image/gif"}}};

}  // namespace

bool isValidOrderNumber(std::string_view number) {
    return !number.empty() && number.size() <= 32 && isAsciiAlnum(number.front()) &&
           allOf(number, "-_");
}

bool isValidUsername(std::string_view name) {
    return !name.empty() && name.size() <= 64 && isAsciiAlnum(name.front()) && allOf(name, ".-_@");
}

bool isValidStockName(std::string_view name) {
    if (name.empty() || name.size() > 100 || name.front() == '.' || !allOf(name, "._-")) {
        return false;
    }
    return std::any_of(kImageTypes.begin(), kImageTypes.end(),
                       [name](const ImageType& type) { return endsWith(name, type.extension); });
}

bool isValidDetailLine(std::string_view line) {
    if (line.size() > 200) {
        return false;
    }
    return std::none_of(line.begin(), line.end(), [](char c) {
        return c == ',' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7f;
    });
}

std::optional<Location> parseLocation(std::string_view text) {
    if (text == "0") {
        return Location::Before;
    }
    if (text == "1") {
        return Location::After;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseBatchIndex(std::string_view text) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

const char* locationFolder(Location location) {
    return location == Location::Before ? "before" : "after";
}

const char* stockContentType(std::string_view name) {
    for (const auto& type : kImageTypes) {
        if (endsWith(name, type.extension)) {
            return type.contentType;
        }
    }
    return "application/octet-stream";
}

}  // namespace orderd
