#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace net::testing {

// The binary form of an XML property list, made by the library the operation reads with.
inline std::string binaryPropertyListOf(const char* xml) {
    plist_t root = nullptr;
    plist_from_xml(xml, static_cast<std::uint32_t>(std::strlen(xml)), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string binary(bytes, length);
    std::free(bytes);
    plist_free(root);
    return binary;
}

}  // namespace net::testing
