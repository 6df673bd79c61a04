#include "platform/core/KeyedArchiver.h"

#include <algorithm>

#include "platform/core/KeyedArchivePrivate.h"
#include "platform/core/StringEncoding.h"

namespace core {

using namespace archive;

KeyedArchiver::KeyedArchiver() {
    fields_.push_back(plist_new_dict());
}

KeyedArchiver::~KeyedArchiver() {
    // Nested fields dictionaries belong to their object's entry once encoded; only the
    // outermost one is ours.
    plist_free(fields_.front());
}

Expected<Bytes> KeyedArchiver::archivedDataWithRootObject(const Coding& root) {
    KeyedArchiver archiver;
    archiver.encodeObject(kRootObjectKey, root);
    return archiver.finishEncoding();
}

void KeyedArchiver::fail(Error error) {
    if (!error_) {
        error_ = std::move(error);
    }
}

bool KeyedArchiver::checkText(std::string_view text) {
    // Property-list strings are C strings in UTF-8: anything else would come back altered.
    bool valid = text.find('\0') == std::string_view::npos &&
                 decodeString(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                              StringEncoding::UTF8)
                     .has_value();
    if (!valid) {
        fail(coderError(CoderError::InvalidValue,
                        "A text to archive is not valid UTF-8 or contains a NUL character."));
    }
    return valid;
}

void KeyedArchiver::set(std::string_view key, void* node) {
    if (error_ || !checkText(key)) {
        plist_free(node);
        return;
    }
    plist_dict_set_item(current(), std::string(key).c_str(), node);
}

void KeyedArchiver::encodeString(std::string_view key, std::string_view value) {
    if (checkText(value)) {
        set(key, plist_new_string(std::string(value).c_str()));
    }
}

void KeyedArchiver::encodeInteger(std::string_view key, std::int64_t value) {
    set(key, plist_new_uint(static_cast<std::uint64_t>(value)));
}

void KeyedArchiver::encodeDouble(std::string_view key, double value) {
    set(key, plist_new_real(value));
}

void KeyedArchiver::encodeBool(std::string_view key, bool value) {
    set(key, plist_new_bool(value ? 1 : 0));
}

void KeyedArchiver::encodeBytes(std::string_view key, const Bytes& value) {
    set(key, plist_new_data(reinterpret_cast<const char*>(value.data()), value.size()));
}

void KeyedArchiver::encodeStringSet(std::string_view key, const std::set<std::string>& value) {
    plist_t strings = plist_new_array();
    for (const std::string& text : value) {
        if (!checkText(text)) {
            plist_free(strings);
            return;
        }
        plist_array_append_item(strings, plist_new_string(text.c_str()));
    }
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, kSetKey, strings);
    set(key, entry);
}

void* KeyedArchiver::encodeValueNode(const Value& value, int depth) {
    if (depth > kMaxDepth) {
        fail(coderError(CoderError::InvalidValue, "A value is nested too deeply to archive."));
        return nullptr;
    }
    switch (value.kind()) {
        case Value::Kind::Null: {
            plist_t node = plist_new_dict();
            plist_dict_set_item(node, kNullKey, plist_new_bool(1));
            return node;
        }
        case Value::Kind::Boolean:
            return plist_new_bool(*value.asBool() ? 1 : 0);
        case Value::Kind::Integer:
            return plist_new_uint(static_cast<std::uint64_t>(*value.asInteger()));
        case Value::Kind::Double:
            return plist_new_real(*value.asDouble());
        case Value::Kind::String:
            return checkText(*value.asString()) ? plist_new_string(value.asString()->c_str())
                                                : nullptr;
        case Value::Kind::Bytes:
            return plist_new_data(reinterpret_cast<const char*>(value.asBytes()->data()),
                                  value.asBytes()->size());
        case Value::Kind::List:
            return encodeListNode(*value.asList(), depth);
        case Value::Kind::Map:
            return encodeMapNode(*value.asMap(), depth);
    }
    return nullptr;
}

void* KeyedArchiver::encodeListNode(const Value::List& list, int depth) {
    plist_t array = plist_new_array();
    for (const Value& element : list) {
        plist_t node = encodeValueNode(element, depth + 1);
        if (node == nullptr) {
            plist_free(array);
            return nullptr;
        }
        plist_array_append_item(array, node);
    }
    return array;
}

// Keys and values go in two parallel arrays: a property-list dictionary does not promise
// to keep the map's order.
void* KeyedArchiver::encodeMapNode(const Value::Map& map, int depth) {
    plist_t keys = plist_new_array();
    plist_t values = plist_new_array();
    plist_t node = plist_new_dict();
    plist_dict_set_item(node, kMapKeysKey, keys);
    plist_dict_set_item(node, kMapValuesKey, values);
    for (const auto& [key, child] : map) {
        plist_t childNode = checkText(key) ? encodeValueNode(child, depth + 1) : nullptr;
        if (childNode == nullptr) {
            plist_free(node);
            return nullptr;
        }
        plist_array_append_item(keys, plist_new_string(key.c_str()));
        plist_array_append_item(values, childNode);
    }
    return node;
}

void KeyedArchiver::encodeValue(std::string_view key, const Value& value) {
    plist_t node = encodeValueNode(value, 0);
    if (node == nullptr) {
        return;
    }
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, kValueKey, node);
    set(key, entry);
}

void KeyedArchiver::encodeObject(std::string_view key, const Coding& object) {
    if (error_) {
        return;
    }
    if (std::find(encoding_.begin(), encoding_.end(), &object) != encoding_.end()) {
        fail(coderError(CoderError::InvalidValue,
                        "An object of class " + object.className() + " contains itself."));
        return;
    }
    if (encoding_.size() >= static_cast<std::size_t>(kMaxDepth)) {
        fail(coderError(CoderError::InvalidValue, "Objects are nested too deeply to archive."));
        return;
    }
    std::string className = object.className();
    if (!checkText(className)) {
        return;
    }
    plist_t fields = plist_new_dict();
    fields_.push_back(fields);
    encoding_.push_back(&object);
    object.encode(*this);
    encoding_.pop_back();
    fields_.pop_back();

    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, kClassKey, plist_new_string(className.c_str()));
    plist_dict_set_item(entry, kFieldsKey, fields);
    set(key, entry);
}

void KeyedArchiver::encodeObject(std::string_view key,
                                 const std::shared_ptr<const Coding>& object) {
    if (object) {
        encodeObject(key, *object);
    }
}

Expected<Bytes> KeyedArchiver::finishEncoding() const {
    if (error_) {
        return *error_;
    }
    Node document(plist_new_dict());
    plist_dict_set_item(document.get(), kArchiverKey, plist_new_string(kArchiverName));
    plist_dict_set_item(document.get(), kVersionKey, plist_new_uint(kVersion));
    plist_dict_set_item(document.get(), kTopKey, plist_copy(fields_.front()));
    char* data = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(document.get(), &data, &length);
    if (data == nullptr) {
        return coderError(CoderError::InvalidValue, "The archive could not be written.");
    }
    Bytes bytes(reinterpret_cast<std::uint8_t*>(data),
                reinterpret_cast<std::uint8_t*>(data) + length);
    plist_to_bin_free(data);
    return bytes;
}

}  // namespace core
