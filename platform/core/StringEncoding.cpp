#include "platform/core/StringEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

namespace core {

namespace {

struct EncodingName {
    StringEncoding encoding;
    const char* converter;  // ICU converter name; nullptr where ICU has none
    const char* iana;       // lower-case IANA name; nullptr where there is none
};

// Only names live here; the conversions themselves are ICU's.
constexpr std::array<EncodingName, 22> kEncodings{{
    {StringEncoding::ASCII, "US-ASCII", "us-ascii"},
    {StringEncoding::NEXTSTEP, nullptr, "x-nextstep"},
    {StringEncoding::JapaneseEUC, "EUC-JP", "euc-jp"},
    {StringEncoding::UTF8, "UTF-8", "utf-8"},
    {StringEncoding::ISOLatin1, "ISO-8859-1", "iso-8859-1"},
    {StringEncoding::Symbol, nullptr, "x-mac-symbol"},
    {StringEncoding::NonLossyASCII, nullptr, nullptr},
    {StringEncoding::ShiftJIS, "Shift_JIS", "shift_jis"},
    {StringEncoding::ISOLatin2, "ISO-8859-2", "iso-8859-2"},
    {StringEncoding::Unicode, "UTF-16", "utf-16"},
    {StringEncoding::WindowsCP1251, "windows-1251", "windows-1251"},
    {StringEncoding::WindowsCP1252, "windows-1252", "windows-1252"},
    {StringEncoding::WindowsCP1253, "windows-1253", "windows-1253"},
    {StringEncoding::WindowsCP1254, "windows-1254", "windows-1254"},
    {StringEncoding::WindowsCP1250, "windows-1250", "windows-1250"},
    {StringEncoding::ISO2022JP, "ISO-2022-JP", "iso-2022-jp"},
    {StringEncoding::MacOSRoman, "macintosh", "macintosh"},
    {StringEncoding::UTF16BigEndian, "UTF-16BE", "utf-16be"},
    {StringEncoding::UTF16LittleEndian, "UTF-16LE", "utf-16le"},
    {StringEncoding::UTF32, "UTF-32", "utf-32"},
    {StringEncoding::UTF32BigEndian, "UTF-32BE", "utf-32be"},
    {StringEncoding::UTF32LittleEndian, "UTF-32LE", "utf-32le"},
}};

// ICU works with int32_t lengths; longer inputs are refused rather than cut.
constexpr std::size_t kMaxLength = std::numeric_limits<std::int32_t>::max() / 4;

const EncodingName* entryFor(StringEncoding encoding) {
    auto found = std::find_if(kEncodings.begin(), kEncodings.end(),
                              [&](const EncodingName& e) { return e.encoding == encoding; });
    return found == kEncodings.end() ? nullptr : &*found;
}

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter that stops at the first invalid or unmappable character instead of
// substituting, so a failed conversion is reported rather than hidden.
Converter openConverter(StringEncoding encoding) {
    const EncodingName* entry = entryFor(encoding);
    if (entry == nullptr || entry->converter == nullptr) {
        return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(entry->converter, &status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    return U_FAILURE(status) ? nullptr : std::move(converter);
}

std::optional<std::u16string> toUTF16(UConverter* converter, const std::uint8_t* bytes,
                                      std::size_t length) {
    const char* source = reinterpret_cast<const char*>(bytes);
    std::u16string units(length * 2 + 16, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t produced = ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()),
                                     source, static_cast<int32_t>(length), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        units.assign(static_cast<std::size_t>(produced), u'\0');
        ucnv_resetToUnicode(converter);
        status = U_ZERO_ERROR;
        produced = ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()),
                                 source, static_cast<int32_t>(length), &status);
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    units.resize(static_cast<std::size_t>(produced));
    return units;
}

std::optional<std::string> utf16ToUTF8(const std::u16string& units) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8(nullptr, 0, &needed, units.data(), static_cast<int32_t>(units.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(text.data(), needed, nullptr, units.data(), static_cast<int32_t>(units.size()),
                &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return text;
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool writesASCIIAsItself(StringEncoding encoding) {
    switch (encoding) {
        case StringEncoding::ASCII:
        case StringEncoding::UTF8:
        case StringEncoding::ISOLatin1:
        case StringEncoding::WindowsCP1252:
            return true;
        default:
            return false;
    }
}

std::optional<std::u16string> utf8ToUTF16(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strFromUTF8(nullptr, 0, &needed, text.data(), static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::u16string units(static_cast<std::size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), needed, nullptr, text.data(), static_cast<int32_t>(text.size()),
                  &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return units;
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return out;
}

// ICU's own name for whatever converter `name` selects, resolving aliases.
std::optional<std::string> canonicalConverterName(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    const char* canonical = ucnv_getName(converter.get(), &status);
    return U_FAILURE(status) ? std::nullopt : std::optional<std::string>(canonical);
}

struct CanonicalEntry {
    StringEncoding encoding;
    std::string converterName;
};

const std::vector<CanonicalEntry>& canonicalEntries() {
    // Never destroyed: answers may still be decoded on other threads while the process exits.
    static const auto& entries = *new const std::vector<CanonicalEntry>([] {
        std::vector<CanonicalEntry> list;
        for (const EncodingName& entry : kEncodings) {
            if (entry.converter == nullptr) {
                continue;
            }
            if (auto canonical = canonicalConverterName(entry.converter)) {
                list.push_back({entry.encoding, *canonical});
            }
        }
        return list;
    }());
    return entries;
}

}  // namespace

bool isSupported(StringEncoding encoding) {
    return openConverter(encoding) != nullptr;
}

std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding) {
    if (length > kMaxLength) {
        return std::nullopt;
    }
    Converter converter = openConverter(encoding);
    if (!converter) {
        return std::nullopt;
    }
    auto units = toUTF16(converter.get(), bytes, length);
    return units ? utf16ToUTF8(*units) : std::nullopt;
}

std::optional<std::string> decodeString(const Bytes& bytes, StringEncoding encoding) {
    return decodeString(bytes.data(), bytes.size(), encoding);
}

std::optional<Bytes> encodeString(std::string_view text, StringEncoding encoding) {
    if (text.size() > kMaxLength) {
        return std::nullopt;
    }
    // Form bodies are percent-escaped, so nearly every text sent is plain ASCII, which these
    // encodings write byte for byte; a converter round trip through UTF-16 would only cost.
    if (writesASCIIAsItself(encoding) && isASCII(text)) {
        return Bytes(text.begin(), text.end());
    }
    Converter converter = openConverter(encoding);
    auto units = converter ? utf8ToUTF16(text) : std::nullopt;
    if (!units) {
        return std::nullopt;
    }
    auto capacity = UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<int32_t>(units->size()),
                                                  ucnv_getMaxCharSize(converter.get()));
    Bytes bytes(static_cast<std::size_t>(capacity));
    UErrorCode status = U_ZERO_ERROR;
    int32_t written =
        ucnv_fromUChars(converter.get(), reinterpret_cast<char*>(bytes.data()), capacity,
                        units->data(), static_cast<int32_t>(units->size()), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(written));
    return bytes;
}

std::optional<StringEncoding> encodingForIANACharsetName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string lower = lowercase(name);
    for (const EncodingName& entry : kEncodings) {
        if (entry.iana != nullptr && lower == entry.iana) {
            return entry.encoding;
        }
    }
    auto canonical = canonicalConverterName(lower.c_str());
    if (!canonical) {
        return std::nullopt;
    }
    for (const CanonicalEntry& entry : canonicalEntries()) {
        if (entry.converterName == *canonical) {
            return entry.encoding;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ianaCharsetName(StringEncoding encoding) {
    const EncodingName* entry = entryFor(encoding);
    if (entry == nullptr || entry->iana == nullptr) {
        return std::nullopt;
    }
    return std::string(entry->iana);
}

}  // namespace core
