#include "net/client/QueryString.h"

#include <array>

#include "platform/core/StringEncoding.h"

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
// is exactly "escape the character's UTF-8 bytes". Writes through a pointer into room made
// for the worst case: a push_back per byte costs a capacity check each, and large forms are
// mostly this loop.
void appendEscapedUTF8(std::string& out, std::string_view text) {
    const size_t start = out.size();
    out.resize(start + text.size() * 3);
    char* write = out.data() + start;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (kKept[byte]) {
            *write++ = c;
        } else {
            write[0] = '%';
            write[1] = kHex[byte >> 4];
            write[2] = kHex[byte & 0xF];
            write += 3;
        }
    }
    out.resize(static_cast<size_t>(write - out.data()));
}

std::string escapeUTF8(std::string_view text) {
    std::string out;
    appendEscapedUTF8(out, text);
    return out;
}

size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// Other encodings: kept ASCII characters stay; every other character is converted to the
// encoding on its own and its bytes escaped.
std::optional<std::string> escapeInEncoding(std::string_view text, core::StringEncoding encoding) {
    if (encoding == core::StringEncoding::Unicode) {
        encoding = core::StringEncoding::UTF16BigEndian;  // no byte-order mark per character
    }
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        if (kKept[lead]) {
            out.push_back(text[i++]);
            continue;
        }
        size_t length = utf8SequenceLength(lead);
        if (length == 0 || i + length > text.size()) {
            return std::nullopt;
        }
        auto bytes = core::encodeString(text.substr(i, length), encoding);
        if (!bytes) {
            return std::nullopt;
        }
        for (auto byte : *bytes) {
            appendEscapedByte(out, byte);
        }
        i += length;
    }
    return out;
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

// The UTF-8 form of a tree, written straight into `out` without the pairs in between:
// `field` holds the escaped name so far and is restored on the way back. '[' and ']' are
// kept characters, so escaping the parts of a composed name one by one gives the same text
// as escaping it whole.
void appendUTF8Pairs(std::string& out, std::string& field, const core::Value& value) {
    const size_t mark = field.size();
    if (const auto* map = value.asMap()) {
        for (const auto& [childKey, child] : *map) {
            field.push_back('[');
            appendEscapedUTF8(field, childKey);
            field.push_back(']');
            appendUTF8Pairs(out, field, child);
            field.resize(mark);
        }
    } else if (const auto* list = value.asList()) {
        field += "[]";
        for (const auto& element : *list) {
            appendUTF8Pairs(out, field, element);
        }
        field.resize(mark);
    } else {
        if (!out.empty()) {
            out.push_back('&');
        }
        out += field;
        out.push_back('=');
        const std::string* text = value.asString();
        appendEscapedUTF8(out, text ? *text : value.description());
    }
}

}  // namespace

std::optional<std::string> EscapeQueryComponent(std::string_view text, StringEncodingId encoding) {
    if (encoding == kUTF8StringEncoding) {
        return escapeUTF8(text);
    }
    return escapeInEncoding(text, static_cast<core::StringEncoding>(encoding));
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
    if (encoding == kUTF8StringEncoding) {
        std::string query;
        std::string field;
        for (const auto& [key, value] : parameters) {
            field.clear();
            appendEscapedUTF8(field, key);
            appendUTF8Pairs(query, field, value);
        }
        return query;
    }
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
