#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

class KeyedArchiver;

// An object that can be written to a keyed archive. Reading it back goes through a factory
// registered under className() with KeyedUnarchiver::registerClass.
class Coding {
public:
    virtual ~Coding() = default;

    // The name the archive records, which picks the factory when decoding.
    virtual std::string className() const = 0;
    virtual void encode(KeyedArchiver& archiver) const = 0;
};

// Errors met while writing or reading a keyed archive, in CoderErrorDomain.
inline constexpr std::string_view CoderErrorDomain = "CoderErrorDomain";
enum class CoderError : std::int64_t {
    ReadCorrupt = 4864,    // not an archive, damaged, or a value of the wrong kind
    ValueNotFound = 4865,  // a required value is missing (reported by decoders themselves)
    InvalidValue = 4866,   // a value that cannot be archived (a cycle, text that is not UTF-8)
};

}  // namespace core
