#include "net/client/QueryString.h"

#include <array>

namespace net {
namespace {

constexpr std::array<bool, 256> makeKeptTable() {
    std::array<bool, 256> kept{};
    for (int c = 'A'; c <= 'Z'; ++c)
        kept[c] = true;
    for (int c = 'a'; c <= 'z'; ++c)
        kept[c] = true;
    for (int c = '0'; c <= '9'; ++c)
        kept[c] = true;
    for (char c : std::string_view("-_*',[]"))
        kept[static_cast<unsigned char>(c)] = true;
    return kept;
}

constexpr std::array<bool, 256> kKept = makeKeptTable();
constexpr char kHex[] = "0123456789ABCDEF";

void appendEscapedByte(std::string& out, unsigned char byte) {
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
}

// Every byte of a UTF-8 string that is not a kept ASCII character is escaped as it is, which
// is exactly "escape the character's UTF-8 bytes".
std::string escapeUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (kKept[byte]) {
            out.push_back(c);
        } else {
            appendEscapedByte(out, byte);
        }
    }
    return out;
}

// Other encodings: ASCII characters follow the table; each other character is converted to
// the encoding on its own and its bytes escaped.
std::optional<std::string> escapeLatin1(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            kKept[byte] ? out.push_back(text[i]) : appendEscapedByte(out, byte);
            continue;
        }
        // Latin-1 holds U+0080..U+00FF, which UTF-8 writes as C2/C3 plus one byte.
        if ((byte != 0xC2 && byte != 0xC3) || i + 1 >= text.size()) {
            return std::nullopt;
        }
        auto next = static_cast<unsigned char>(text[++i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        appendEscapedByte(out, static_cast<unsigned char>(((byte & 0x03) << 6) | (next & 0x3F)));
    }
    return out;
}

std::optional<std::string> escapeASCII(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return std::nullopt;
        }
    }
    return escapeUTF8(text);
}

void flattenInto(std::vector<QueryStringPair>& pairs, const std::optional<std::string>& key,
                 const core::Value& value) {
    if (const auto* map = value.asMap()) {
        for (const auto& [childKey, child] : *map) {
            flattenInto(pairs, key ? *key + "[" + childKey + "]" : childKey, child);
        }
    } else if (const auto* list = value.asList()) {
        std::string listKey = key.value_or("") + "[]";
        for (const auto& element : *list) {
            flattenInto(pairs, listKey, element);
        }
    } else {
        pairs.emplace_back(key.value_or(""), value);
    }
}

}  // namespace

std::optional<std::string> EscapeQueryComponent(std::string_view text, StringEncodingId encoding) {
    constexpr StringEncodingId kASCII = 1;
    constexpr StringEncodingId kLatin1 = 5;
    switch (encoding) {
        case kUTF8StringEncoding:
            return escapeUTF8(text);
        case kASCII:
            return escapeASCII(text);
        case kLatin1:
            return escapeLatin1(text);
        default:
            return std::nullopt;
    }
}

std::optional<std::string> QueryStringPair::URLEncodedStringValue(StringEncodingId encoding) const {
    auto field = EscapeQueryComponent(field_, encoding);
    const std::string* text = value_.asString();
    auto value = EscapeQueryComponent(text ? *text : value_.description(), encoding);
    if (!field || !value) {
        return std::nullopt;
    }
    return *field + "=" + *value;
}

std::vector<QueryStringPair> FlattenParameters(std::optional<std::string_view> key,
                                               const core::Value& value) {
    std::vector<QueryStringPair> pairs;
    flattenInto(pairs, key ? std::optional<std::string>(std::string(*key)) : std::nullopt, value);
    return pairs;
}

std::optional<std::string> BuildQueryString(const core::Value::Map& parameters,
                                            StringEncodingId encoding) {
    std::vector<QueryStringPair> pairs;
    for (const auto& [key, value] : parameters) {
        flattenInto(pairs, key, value);
    }
    std::string query;
    for (const auto& pair : pairs) {
        auto encoded = pair.URLEncodedStringValue(encoding);
        if (!encoded) {
            return std::nullopt;
        }
        if (!query.empty()) {
            query.push_back('&');
        }
        query += *encoded;
    }
    return query;
}

}  // namespace net
