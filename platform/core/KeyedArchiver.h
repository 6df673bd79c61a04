#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Bytes.h"
#include "platform/core/Coding.h"
#include "platform/core/Error.h"
#include "platform/core/Expected.h"
#include "platform/core/Value.h"

namespace core {

// Writes values by key into an archive that KeyedUnarchiver reads back.
//
// Format: a binary property list (bplist00) whose root is a dictionary
//     "$archiver" = "ProofshotKeyedArchiver", "$version" = 1, "$top" = <fields>
// where <fields> is a dictionary from each key to its entry:
//     string -> string (UTF-8 without NUL)      integer -> integer (64-bit two's complement)
//     floating point -> real                    boolean -> boolean
//     bytes -> data
//     string set -> { "$set" = [strings, ascending] }
//     Value -> { "$value" = <value> }
//     object -> { "$class" = className(), "$fields" = <fields written by its encode()> }
// and a <value> is a string, integer, real, boolean or data for a leaf, an array for a list,
// { "$null" = true } for null, and { "$keys" = [strings], "$values" = [<value>...] } for a
// map, whose two arrays keep the map's order. An absent key is simply not in <fields>.
class KeyedArchiver {
public:
    KeyedArchiver();
    ~KeyedArchiver();
    KeyedArchiver(const KeyedArchiver&) = delete;
    KeyedArchiver& operator=(const KeyedArchiver&) = delete;

    // `root` under the key "root"; KeyedUnarchiver::unarchiveObjectWithData reads it back.
    static Expected<Bytes> archivedDataWithRootObject(const Coding& root);

    void encodeString(std::string_view key, std::string_view value);
    void encodeInteger(std::string_view key, std::int64_t value);
    void encodeDouble(std::string_view key, double value);
    void encodeBool(std::string_view key, bool value);
    void encodeBytes(std::string_view key, const Bytes& value);
    void encodeValue(std::string_view key, const Value& value);
    void encodeStringSet(std::string_view key, const std::set<std::string>& value);
    void encodeObject(std::string_view key, const Coding& object);
    // A null object leaves the key absent.
    void encodeObject(std::string_view key, const std::shared_ptr<const Coding>& object);

    // The archive, or the first problem met while encoding: an object that contains itself,
    // nesting deeper than 64 levels, or a text that is not valid UTF-8 or contains NUL.
    Expected<Bytes> finishEncoding() const;

private:
    void* current() const { return fields_.back(); }
    void set(std::string_view key, void* node);
    bool checkText(std::string_view text);
    void* encodeValueNode(const Value& value, int depth);
    void* encodeListNode(const Value::List& list, int depth);
    void* encodeMapNode(const Value::Map& map, int depth);
    void fail(Error error);

    std::vector<void*> fields_;            // the fields dictionaries being written
    std::vector<const Coding*> encoding_;  // objects being encoded, to catch cycles
    std::optional<Error> error_;
};

}  // namespace core
