#include "platform/core/Bytes.h"

namespace core {

Bytes bytesFromString(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string stringFromBytes(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string hexDescription(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 + bytes.size() * 2 + bytes.size() / 4);
    text += '<';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0f];
    }
    text += '>';
    return text;
}

}  // namespace core
