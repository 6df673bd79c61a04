#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Value.h"

namespace net {

// The platform's numeric string-encoding id; 4 is UTF-8.
using StringEncodingId = std::uint64_t;
inline constexpr StringEncodingId kUTF8StringEncoding = 4;

// One flattened parameter: the composed field name (e.g. "filter[tags][]") and its leaf value.
class QueryStringPair {
public:
    QueryStringPair(std::string field, core::Value value)
        : field_(std::move(field)), value_(std::move(value)) {}

    const std::string& field() const { return field_; }
    const core::Value& value() const { return value_; }
    void setField(std::string field) { field_ = std::move(field); }
    void setValue(core::Value value) { value_ = std::move(value); }

    // "field=value", both escaped; the value is its textual description first (42 -> "42",
    // null -> "<null>"). nullopt when a character cannot be written in `encoding`.
    std::optional<std::string> URLEncodedStringValue(StringEncodingId encoding) const;

    friend bool operator==(const QueryStringPair&, const QueryStringPair&) = default;

private:
    std::string field_;
    core::Value value_;
};

// Percent-escapes a query component: only A-Z a-z 0-9 - _ * ' , [ ] stay as they are; every
// other character becomes its bytes in `encoding`, each as %XX (upper-case hex). nullopt when
// a character cannot be written in `encoding`.
std::optional<std::string> EscapeQueryComponent(std::string_view text,
                                                StringEncodingId encoding = kUTF8StringEncoding);

// The pairs of a parameter tree, depth first in the maps' own order and the lists' order:
// map children as key[child], list elements as key[]. Empty maps and lists give no pair.
std::vector<QueryStringPair> FlattenParameters(std::optional<std::string_view> key,
                                               const core::Value& value);

// The pairs of FlattenParameters(no key, parameters), encoded and joined with "&"; "" for
// an empty map. nullopt when a character cannot be written in `encoding`.
std::optional<std::string> BuildQueryString(const core::Value::Map& parameters,
                                            StringEncodingId encoding = kUTF8StringEncoding);

}  // namespace net
