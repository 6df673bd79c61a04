#include "platform/core/KeyedUnarchiver.h"

#include <limits>
#include <map>
#include <mutex>

#include "platform/core/BinaryPropertyListCheckPrivate.h"
#include "platform/core/KeyedArchivePrivate.h"

namespace core {

using namespace archive;

namespace {

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, KeyedUnarchiver::Factory>& registry() {
    // Guarded by registryMutex; never destroyed, as archives may be read on other threads
    // while the process exits.
    static auto& factories = *new std::map<std::string, KeyedUnarchiver::Factory>;
    return factories;
}

KeyedUnarchiver::Factory factoryFor(const std::string& className) {
    std::lock_guard lock(registryMutex());
    auto found = registry().find(className);
    return found == registry().end() ? nullptr : found->second;
}

bool isType(plist_t node, plist_type type) {
    return node != nullptr && plist_get_node_type(node) == type;
}

// The string of a string node, length-checked: a damaged archive may hold anything.
std::optional<std::string> stringOf(plist_t node) {
    if (!isType(node, PLIST_STRING)) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text == nullptr ? std::nullopt : std::optional<std::string>(std::string(text, length));
}

Bytes bytesOf(plist_t node) {
    std::uint64_t length = 0;
    const char* data = plist_get_data_ptr(node, &length);
    if (data == nullptr) {
        return {};
    }
    auto begin = reinterpret_cast<const std::uint8_t*>(data);
    return Bytes(begin, begin + length);
}

std::int64_t integerOf(plist_t node) {
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<std::int64_t>(value);
}

Error corrupt(const std::string& why) {
    return coderError(CoderError::ReadCorrupt, "The archive is damaged: " + why + ".");
}

}  // namespace

struct KeyedUnarchiver::Document {
    Node root;
};

void KeyedUnarchiver::registerClass(const std::string& className, Factory factory) {
    std::lock_guard lock(registryMutex());
    registry()[className] = std::move(factory);
}

Expected<KeyedUnarchiver> KeyedUnarchiver::create(const Bytes& archive) {
    if (archive.size() < 8 || archive.size() > std::numeric_limits<std::uint32_t>::max() ||
        !plist_is_binary(reinterpret_cast<const char*>(archive.data()),
                         static_cast<std::uint32_t>(archive.size()))) {
        return corrupt("it is not a binary property list");
    }
    if (!isSafeBinaryPropertyList(archive.data(), archive.size(), kMaxPropertyListDepth,
                                  kMaxPropertyListNodes)) {
        return corrupt("its structure is invalid or too large");
    }
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(archive.data()),
                   static_cast<std::uint32_t>(archive.size()), &root);
    auto document = std::make_unique<Document>(Document{Node(root)});
    if (!isType(root, PLIST_DICT) ||
        stringOf(plist_dict_get_item(root, kArchiverKey)) != kArchiverName) {
        return corrupt("it is not a keyed archive");
    }
    plist_t version = plist_dict_get_item(root, kVersionKey);
    if (!isType(version, PLIST_UINT) || integerOf(version) != static_cast<std::int64_t>(kVersion)) {
        return corrupt("its version is not supported");
    }
    if (!isType(plist_dict_get_item(root, kTopKey), PLIST_DICT)) {
        return corrupt("it has no top-level values");
    }
    return KeyedUnarchiver(std::move(document));
}

Expected<std::shared_ptr<Coding>> KeyedUnarchiver::unarchiveObjectWithData(const Bytes& archive) {
    auto unarchiver = create(archive);
    if (!unarchiver) {
        return unarchiver.error();
    }
    auto object = unarchiver->decodeObject(kRootObjectKey);
    if (unarchiver->error()) {
        return *unarchiver->error();
    }
    if (!object) {
        return coderError(CoderError::ValueNotFound, "The archive holds no root object.");
    }
    return object;
}

KeyedUnarchiver::KeyedUnarchiver(std::unique_ptr<Document> document)
    : document_(std::move(document)) {
    fields_.push_back(plist_dict_get_item(document_->root.get(), kTopKey));
}

KeyedUnarchiver::KeyedUnarchiver(KeyedUnarchiver&&) noexcept = default;
KeyedUnarchiver& KeyedUnarchiver::operator=(KeyedUnarchiver&&) noexcept = default;
KeyedUnarchiver::~KeyedUnarchiver() = default;

void* KeyedUnarchiver::entry(std::string_view key) const {
    return plist_dict_get_item(fields_.back(), std::string(key).c_str());
}

bool KeyedUnarchiver::containsValue(std::string_view key) const {
    return entry(key) != nullptr;
}

void KeyedUnarchiver::failWithError(Error error) {
    if (!error_) {
        error_ = std::move(error);
    }
}

void KeyedUnarchiver::failWrongKind(std::string_view key, const char* expected) {
    failWithError(corrupt("the value for key \"" + std::string(key) + "\" is not " + expected));
}

std::optional<std::string> KeyedUnarchiver::decodeString(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    auto text = stringOf(node);
    if (!text) {
        failWrongKind(key, "a string");
    }
    return text;
}

std::optional<std::int64_t> KeyedUnarchiver::decodeInteger(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!isType(node, PLIST_UINT)) {
        failWrongKind(key, "an integer");
        return std::nullopt;
    }
    return integerOf(node);
}

std::optional<double> KeyedUnarchiver::decodeDouble(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (isType(node, PLIST_UINT)) {
        return static_cast<double>(integerOf(node));
    }
    if (!isType(node, PLIST_REAL)) {
        failWrongKind(key, "a number");
        return std::nullopt;
    }
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
}

std::optional<bool> KeyedUnarchiver::decodeBool(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!isType(node, PLIST_BOOLEAN)) {
        failWrongKind(key, "a boolean");
        return std::nullopt;
    }
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<Bytes> KeyedUnarchiver::decodeBytes(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!isType(node, PLIST_DATA)) {
        failWrongKind(key, "data");
        return std::nullopt;
    }
    return bytesOf(node);
}

std::optional<std::set<std::string>> KeyedUnarchiver::decodeStringSet(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    plist_t strings = isType(node, PLIST_DICT) ? plist_dict_get_item(node, kSetKey) : nullptr;
    if (!isType(strings, PLIST_ARRAY)) {
        failWrongKind(key, "a set of strings");
        return std::nullopt;
    }
    std::set<std::string> result;
    for (std::uint32_t i = 0; i < plist_array_get_size(strings); ++i) {
        auto text = stringOf(plist_array_get_item(strings, i));
        if (!text) {
            failWrongKind(key, "a set of strings");
            return std::nullopt;
        }
        result.insert(std::move(*text));
    }
    return result;
}

std::optional<Value> KeyedUnarchiver::decodeValueNode(void* node, int depth) {
    if (node == nullptr || depth > kMaxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return Value(value != 0);
        }
        case PLIST_UINT:
            return Value(integerOf(node));
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return Value(value);
        }
        case PLIST_STRING: {
            auto text = stringOf(node);
            return text ? std::optional<Value>(Value(std::move(*text))) : std::nullopt;
        }
        case PLIST_DATA:
            return Value(bytesOf(node));
        case PLIST_ARRAY:
            return decodeListNode(node, depth);
        case PLIST_DICT:
            return decodeMapNode(node, depth);
        default:
            return std::nullopt;
    }
}

std::optional<Value> KeyedUnarchiver::decodeListNode(void* node, int depth) {
    Value::List list;
    for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) {
        auto element = decodeValueNode(plist_array_get_item(node, i), depth + 1);
        if (!element) {
            return std::nullopt;
        }
        list.push_back(std::move(*element));
    }
    return Value(std::move(list));
}

// A dictionary is either the null marker or a map's parallel key and value arrays.
std::optional<Value> KeyedUnarchiver::decodeMapNode(void* node, int depth) {
    if (plist_dict_get_item(node, kNullKey) != nullptr) {
        return Value();
    }
    plist_t keys = plist_dict_get_item(node, kMapKeysKey);
    plist_t values = plist_dict_get_item(node, kMapValuesKey);
    if (!isType(keys, PLIST_ARRAY) || !isType(values, PLIST_ARRAY) ||
        plist_array_get_size(keys) != plist_array_get_size(values)) {
        return std::nullopt;
    }
    Value::Map map;
    for (std::uint32_t i = 0; i < plist_array_get_size(keys); ++i) {
        auto key = stringOf(plist_array_get_item(keys, i));
        auto child = decodeValueNode(plist_array_get_item(values, i), depth + 1);
        if (!key || !child) {
            return std::nullopt;
        }
        map.set(*key, std::move(*child));
    }
    return Value(std::move(map));
}

std::optional<Value> KeyedUnarchiver::decodeValue(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    plist_t valueNode = isType(node, PLIST_DICT) ? plist_dict_get_item(node, kValueKey) : nullptr;
    auto value = decodeValueNode(valueNode, 0);
    if (!value) {
        failWrongKind(key, "a value tree");
    }
    return value;
}

std::shared_ptr<Coding> KeyedUnarchiver::decodeObject(std::string_view key) {
    plist_t node = entry(key);
    if (node == nullptr) {
        return nullptr;
    }
    auto className =
        isType(node, PLIST_DICT) ? stringOf(plist_dict_get_item(node, kClassKey)) : std::nullopt;
    plist_t fields = className ? plist_dict_get_item(node, kFieldsKey) : nullptr;
    if (!isType(fields, PLIST_DICT)) {
        failWrongKind(key, "an object");
        return nullptr;
    }
    if (fields_.size() > static_cast<std::size_t>(kMaxDepth)) {
        failWithError(corrupt("objects are nested too deeply"));
        return nullptr;
    }
    Factory factory = factoryFor(*className);
    if (!factory) {
        failWithError(corrupt("it names the unknown class " + *className));
        return nullptr;
    }
    fields_.push_back(fields);
    auto object = factory(*this);
    fields_.pop_back();
    return object;
}

}  // namespace core
