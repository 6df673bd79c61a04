#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Bytes.h"

namespace core {

// The platform's string-encoding identifiers. Values travel as plain unsigned 64-bit numbers
// (archives, client settings), so any value may appear; unknown ones convert nothing.
enum class StringEncoding : std::uint64_t {
    ASCII = 1,
    NEXTSTEP = 2,
    JapaneseEUC = 3,
    UTF8 = 4,
    ISOLatin1 = 5,
    Symbol = 6,
    NonLossyASCII = 7,
    ShiftJIS = 8,
    ISOLatin2 = 9,
    Unicode = 10,  // UTF-16 with a byte-order mark, written in the machine's byte order
    WindowsCP1251 = 11,
    WindowsCP1252 = 12,
    WindowsCP1253 = 13,
    WindowsCP1254 = 14,
    WindowsCP1250 = 15,
    ISO2022JP = 21,
    MacOSRoman = 30,
    UTF16BigEndian = 0x90000100,
    UTF16LittleEndian = 0x94000100,
    UTF32 = 0x8c000100,
    UTF32BigEndian = 0x98000100,
    UTF32LittleEndian = 0x9c000100,
};

inline constexpr StringEncoding UTF16StringEncoding = StringEncoding::Unicode;

inline std::uint64_t toRaw(StringEncoding encoding) {
    return static_cast<std::uint64_t>(encoding);
}

// Whether text can be converted to and from this encoding on this system.
bool isSupported(StringEncoding encoding);

// The text of `bytes` in `encoding`, as UTF-8. Bytes that are not valid in the encoding
// (including a sequence cut short at the end) give no text, never replacement characters.
std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding);
std::optional<std::string> decodeString(const Bytes& bytes, StringEncoding encoding);

// The bytes of UTF-8 `text` in `encoding`. A character the encoding cannot represent, or
// text that is not valid UTF-8, gives no bytes.
std::optional<Bytes> encodeString(std::string_view text, StringEncoding encoding);

// The encoding named by an IANA character-set name or one of its aliases ("utf-8", "UTF8",
// "ISO-8859-1", "latin1"), compared without regard to case; none for an unknown name.
std::optional<StringEncoding> encodingForIANACharsetName(std::string_view name);

// The IANA name of an encoding in lower case ("utf-8", "iso-8859-1"); none when it has none.
std::optional<std::string> ianaCharsetName(StringEncoding encoding);

}  // namespace core
