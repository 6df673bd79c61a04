#include "platform/core/Value.h"

#include <charconv>
#include <cmath>

namespace core {

// ValueMap -------------------------------------------------------------------------------

ValueMap::ValueMap() = default;
ValueMap::ValueMap(const ValueMap&) = default;
ValueMap::ValueMap(ValueMap&&) noexcept = default;
ValueMap& ValueMap::operator=(const ValueMap&) = default;
ValueMap& ValueMap::operator=(ValueMap&&) noexcept = default;
ValueMap::~ValueMap() = default;

ValueMap::ValueMap(std::initializer_list<Entry> entries) {
    reserve(entries.size());
    for (const auto& [key, value] : entries) {
        set(key, value);
    }
}

namespace {

// Up to this many entries a scan in order beats hashing the key.
constexpr std::size_t kLinearSearchLimit = 8;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

std::size_t hashOf(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}

}  // namespace

std::size_t ValueMap::positionOf(std::string_view key) const {
    if (index_.empty()) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].first == key) {
                return i;
            }
        }
        return kNotFound;
    }
    const std::size_t mask = index_.size() - 1;
    for (std::size_t slot = hashOf(key) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t stored = index_[slot];
        if (stored == 0) {
            return kNotFound;
        }
        if (entries_[stored - 1].first == key) {
            return stored - 1;
        }
    }
}

// Places the last entry in the table, growing it first when it would be more than half full.
void ValueMap::indexLast() {
    if (entries_.size() <= kLinearSearchLimit) {
        return;
    }
    if (index_.size() < entries_.size() * 2) {
        rebuildIndex();
        return;
    }
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = hashOf(entries_.back().first) & mask;
    while (index_[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    index_[slot] = static_cast<std::uint32_t>(entries_.size());
}

void ValueMap::rebuildIndex() {
    index_.clear();
    if (entries_.size() <= kLinearSearchLimit) {
        index_.shrink_to_fit();
        return;
    }
    std::size_t slots = 16;
    while (slots < entries_.size() * 4) {
        slots *= 2;
    }
    index_.assign(slots, 0);
    const std::size_t mask = slots - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t slot = hashOf(entries_[i].first) & mask;
        while (index_[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        index_[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::size_t ValueMap::append(std::string_view key, Value value) {
    entries_.emplace_back(std::string(key), std::move(value));
    indexLast();
    return entries_.size() - 1;
}

bool ValueMap::contains(std::string_view key) const {
    return positionOf(key) != kNotFound;
}

const Value* ValueMap::find(std::string_view key) const {
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &entries_[position].second;
}

Value* ValueMap::find(std::string_view key) {
    const std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &entries_[position].second;
}

void ValueMap::set(std::string_view key, Value value) {
    if (Value* existing = find(key)) {
        *existing = std::move(value);
    } else {
        append(key, std::move(value));
    }
}

Value& ValueMap::operator[](std::string_view key) {
    if (Value* existing = find(key)) {
        return *existing;
    }
    return entries_[append(key, Value())].second;
}

bool ValueMap::erase(std::string_view key) {
    const std::size_t position = positionOf(key);
    if (position == kNotFound) {
        return false;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
    rebuildIndex();
    return true;
}

void ValueMap::reserve(std::size_t count) {
    entries_.reserve(count);
}

bool operator==(const ValueMap& a, const ValueMap& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (const auto& [key, value] : a) {
        const Value* other = b.find(key);
        if (other == nullptr || !(*other == value)) {
            return false;
        }
    }
    return true;
}

// Value ----------------------------------------------------------------------------------

std::optional<bool> Value::asBool() const {
    if (const bool* boolean = std::get_if<bool>(&storage_)) {
        return *boolean;
    }
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
    if (const std::int64_t* integer = std::get_if<std::int64_t>(&storage_)) {
        return *integer;
    }
    return std::nullopt;
}

std::optional<double> Value::asDouble() const {
    if (const double* number = std::get_if<double>(&storage_)) {
        return *number;
    }
    if (const std::int64_t* integer = std::get_if<std::int64_t>(&storage_)) {
        return static_cast<double>(*integer);
    }
    return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
    const Map* map = asMap();
    return map == nullptr ? nullptr : map->find(key);
}

namespace {

std::string describeDouble(double number) {
    if (std::isnan(number)) {
        return "nan";
    }
    if (std::isinf(number)) {
        return number > 0 ? "inf" : "-inf";
    }
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

bool needsQuotes(const std::string& text) {
    if (text.empty()) {
        return true;
    }
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '.' || c == '/' || c == '$' || c >= 0x80;
        if (!plain) {
            return true;
        }
    }
    return false;
}

// Strings inside a map or list are quoted when they would otherwise be ambiguous, so a
// description such as {a = "x; b = y";} still reads as one entry.
std::string quoted(const std::string& text) {
    if (!needsQuotes(text)) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    out += '"';
    return out;
}

void describe(const Value& value, int depth, std::string& out);

void describeNested(const Value& value, int depth, std::string& out) {
    if (const std::string* text = value.asString()) {
        out += quoted(*text);
    } else {
        describe(value, depth, out);
    }
}

void describeMap(const ValueMap& map, int depth, std::string& out) {
    const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
    out += "{\n";
    for (const auto& [key, child] : map) {
        out += indent + "    " + quoted(key) + " = ";
        describeNested(child, depth + 1, out);
        out += ";\n";
    }
    out += indent + "}";
}

void describeList(const Value::List& list, int depth, std::string& out) {
    const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
    out += "(\n";
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += indent + "    ";
        describeNested(list[i], depth + 1, out);
        out += i + 1 < list.size() ? ",\n" : "\n";
    }
    out += indent + ")";
}

void describe(const Value& value, int depth, std::string& out) {
    switch (value.kind()) {
        case Value::Kind::Null:
            out += "<null>";
            break;
        case Value::Kind::Boolean:
            out += *value.asBool() ? "1" : "0";
            break;
        case Value::Kind::Integer:
            out += std::to_string(*value.asInteger());
            break;
        case Value::Kind::Double:
            out += describeDouble(*value.asDouble());
            break;
        case Value::Kind::String:
            out += *value.asString();
            break;
        case Value::Kind::Bytes:
            out += hexDescription(*value.asBytes());
            break;
        case Value::Kind::List:
            describeList(*value.asList(), depth, out);
            break;
        case Value::Kind::Map:
            describeMap(*value.asMap(), depth, out);
            break;
    }
}

bool numbersEqual(const Value& a, const Value& b) {
    if (a.isInteger() && b.isInteger()) {
        return *a.asInteger() == *b.asInteger();
    }
    if (a.isInteger() || b.isInteger()) {
        // Compare an integer with a double exactly: the double must be integral and in range.
        const Value& integer = a.isInteger() ? a : b;
        double number = *(a.isInteger() ? b : a).asDouble();
        if (number != std::trunc(number) || std::abs(number) >= 9.3e18) {
            return false;
        }
        return static_cast<std::int64_t>(number) == *integer.asInteger();
    }
    return *a.asDouble() == *b.asDouble();
}

}  // namespace

std::string Value::description() const {
    std::string out;
    describe(*this, 0, out);
    return out;
}

bool operator==(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) {
        return numbersEqual(a, b);
    }
    return a.storage_ == b.storage_;
}

}  // namespace core
