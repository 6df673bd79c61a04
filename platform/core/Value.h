#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/core/Bytes.h"

namespace core {

class Value;

// A map from string keys to values that remembers the order in which keys were first
// inserted: iteration follows it, and assigning to an existing key keeps the key's place.
// Query strings, form bodies and multipart parts are all built in this order.
class ValueMap {
public:
    using Entry = std::pair<std::string, Value>;
    using const_iterator = std::vector<Entry>::const_iterator;

    ValueMap();
    ValueMap(std::initializer_list<Entry> entries);
    ValueMap(const ValueMap&);
    ValueMap(ValueMap&&) noexcept;
    ValueMap& operator=(const ValueMap&);
    ValueMap& operator=(ValueMap&&) noexcept;
    ~ValueMap();

    // Defined below Value: an entry's size is not known until Value is complete.
    std::size_t size() const;
    bool empty() const;
    bool contains(std::string_view key) const;

    // The value under key, or nullptr when the key is absent.
    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);

    // Sets the value under key: an existing key keeps its position, a new one goes last.
    void set(std::string_view key, Value value);
    // The value under key, inserting a null value at the end when the key is absent.
    Value& operator[](std::string_view key);
    // Removes key; returns whether it was present.
    bool erase(std::string_view key);
    // Room for `count` entries without moving the ones already there.
    void reserve(std::size_t count);

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

    // Maps are equal when they hold the same keys with equal values, in any order.
    friend bool operator==(const ValueMap& a, const ValueMap& b);

private:
    std::size_t positionOf(std::string_view key) const;
    std::size_t append(std::string_view key, Value value);
    void rebuildIndex();
    void indexLast();

    std::vector<Entry> entries_;
    // Small maps are searched in order; larger ones keep an open-addressing table of
    // positions + 1 (0 is a free slot), sized to a power of two at most half full. The
    // table holds no keys of its own, so building a map allocates once per entry at most.
    std::vector<std::uint32_t> index_;
};

// The parameter tree: a map, a list, or a leaf (string, integer, floating point, boolean,
// raw bytes, null). Built from C++ literals:
//     core::Value::Map{{"user", "Jo"}, {"tags", core::Value::List{"a", "b"}}, {"id", 42}}
class Value {
public:
    using Map = ValueMap;
    using List = std::vector<Value>;

    enum class Kind { Null, Boolean, Integer, Double, String, Bytes, List, Map };

    Value() = default;
    Value(std::nullptr_t) {}
    template <class T>
    requires std::same_as<T, bool> Value(T boolean) : storage_(boolean) {}
    // Integers are stored as int64; an unsigned value above its range wraps.
    template <class T>
    requires std::integral<T> &&(!std::same_as<T, bool>)Value(T integer)
        : storage_(static_cast<std::int64_t>(integer)) {}
    template <class T>
    requires std::floating_point<T> Value(T number) : storage_(static_cast<double>(number)) {}
    Value(const char* text) : storage_(std::string(text)) {}
    Value(std::string_view text) : storage_(std::string(text)) {}
    Value(std::string text) : storage_(std::move(text)) {}
    Value(Bytes bytes) : storage_(std::move(bytes)) {}
    Value(List list) : storage_(std::move(list)) {}
    Value(Map map) : storage_(std::move(map)) {}

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isBool() const { return kind() == Kind::Boolean; }
    bool isInteger() const { return kind() == Kind::Integer; }
    bool isDouble() const { return kind() == Kind::Double; }
    bool isNumber() const { return isInteger() || isDouble(); }
    bool isString() const { return kind() == Kind::String; }
    bool isBytes() const { return kind() == Kind::Bytes; }
    bool isList() const { return kind() == Kind::List; }
    bool isMap() const { return kind() == Kind::Map; }
    // Leaves are everything that is neither a map nor a list.
    bool isLeaf() const { return !isList() && !isMap(); }

    // Each accessor answers only for its own kind, except asDouble, which also converts
    // integers.
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asDouble() const;
    const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    const Bytes* asBytes() const { return std::get_if<Bytes>(&storage_); }
    const List* asList() const { return std::get_if<List>(&storage_); }
    List* asList() { return std::get_if<List>(&storage_); }
    const Map* asMap() const { return std::get_if<Map>(&storage_); }
    Map* asMap() { return std::get_if<Map>(&storage_); }

    // For a map: the value under key, or nullptr (also when this is not a map).
    const Value* find(std::string_view key) const;

    // The platform's textual description: strings as themselves, integers in decimal,
    // booleans as 1 or 0, floating point in shortest round-trip form, null as "<null>",
    // bytes as "<0a1b2c3d 4e>", maps as "{ key = value; }" and lists as "( a, b )" spread
    // over indented lines.
    std::string description() const;

    // Numbers compare by value (2 equals 2.0); a boolean is never equal to a number.
    friend bool operator==(const Value& a, const Value& b);

private:
    // The order of the alternatives follows Kind.
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, List, Map>
        storage_;
};

inline std::size_t ValueMap::size() const {
    return entries_.size();
}

inline bool ValueMap::empty() const {
    return entries_.empty();
}

}  // namespace core
