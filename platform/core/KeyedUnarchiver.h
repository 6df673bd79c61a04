#pragma once

#include <cstdint>
#include <functional>
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

// Reads an archive written by KeyedArchiver (format in KeyedArchiver.h). Damaged or
// truncated input is an error, never a crash. Every decode returns none for an absent key;
// a present value of the wrong kind also returns none and records error().
class KeyedUnarchiver {
public:
    // Makes the object stored under a class name; returns nullptr when it cannot (it may
    // also report why with failWithError).
    using Factory = std::function<std::shared_ptr<Coding>(KeyedUnarchiver&)>;

    // Registers (or replaces) the factory for a class name, for every unarchiver.
    static void registerClass(const std::string& className, Factory factory);

    static Expected<KeyedUnarchiver> create(const Bytes& archive);
    // The object that KeyedArchiver::archivedDataWithRootObject stored.
    static Expected<std::shared_ptr<Coding>> unarchiveObjectWithData(const Bytes& archive);

    KeyedUnarchiver(KeyedUnarchiver&&) noexcept;
    KeyedUnarchiver& operator=(KeyedUnarchiver&&) noexcept;
    ~KeyedUnarchiver();

    bool containsValue(std::string_view key) const;

    std::optional<std::string> decodeString(std::string_view key);
    std::optional<std::int64_t> decodeInteger(std::string_view key);
    // Integers are accepted too.
    std::optional<double> decodeDouble(std::string_view key);
    std::optional<bool> decodeBool(std::string_view key);
    std::optional<Bytes> decodeBytes(std::string_view key);
    std::optional<Value> decodeValue(std::string_view key);
    std::optional<std::set<std::string>> decodeStringSet(std::string_view key);
    std::shared_ptr<Coding> decodeObject(std::string_view key);
    template <class T>
    std::shared_ptr<T> decodeObject(std::string_view key) {
        auto object = decodeObject(key);
        auto typed = std::dynamic_pointer_cast<T>(object);
        if (object && !typed) {
            failWrongKind(key, "an object of the expected class");
        }
        return typed;
    }

    // The first problem met so far.
    const std::optional<Error>& error() const { return error_; }
    // Lets a factory report why it could not make its object; the first report is kept.
    void failWithError(Error error);

private:
    struct Document;
    explicit KeyedUnarchiver(std::unique_ptr<Document> document);

    void* entry(std::string_view key) const;
    void failWrongKind(std::string_view key, const char* expected);
    std::optional<Value> decodeValueNode(void* node, int depth);
    std::optional<Value> decodeListNode(void* node, int depth);
    std::optional<Value> decodeMapNode(void* node, int depth);

    std::unique_ptr<Document> document_;
    std::vector<void*> fields_;  // the fields dictionaries being read, innermost last
    std::optional<Error> error_;
};

}  // namespace core
