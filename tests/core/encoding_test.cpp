#include "platform/core/StringEncoding.h"

#include <gtest/gtest.h>

#include <string>

using core::Bytes;
using core::StringEncoding;

namespace {

const std::string kCafe = "caf\xC3\xA9";  // "café" in UTF-8

}  // namespace

TEST(StringEncoding, TextRoundTripsThroughEveryConvertibleEncoding) {
    const StringEncoding encodings[] = {
        StringEncoding::UTF8,
        StringEncoding::ISOLatin1,
        StringEncoding::WindowsCP1252,
        StringEncoding::Unicode,
        StringEncoding::UTF16BigEndian,
        StringEncoding::UTF16LittleEndian,
        StringEncoding::UTF32,
        StringEncoding::UTF32BigEndian,
        StringEncoding::UTF32LittleEndian,
        StringEncoding::MacOSRoman,
        StringEncoding::ISOLatin2,
        StringEncoding::WindowsCP1250,
    };
    for (StringEncoding encoding : encodings) {
        SCOPED_TRACE(core::toRaw(encoding));
        auto bytes = core::encodeString(kCafe, encoding);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(core::decodeString(*bytes, encoding), kCafe);
    }
}

TEST(StringEncoding, ProducesTheExpectedBytes) {
    EXPECT_EQ(core::encodeString(kCafe, StringEncoding::ISOLatin1), (Bytes{'c', 'a', 'f', 0xE9}));
    EXPECT_EQ(core::encodeString(kCafe, StringEncoding::UTF16LittleEndian),
              (Bytes{'c', 0, 'a', 0, 'f', 0, 0xE9, 0}));
    // The euro sign exists in Windows-1252 but not in Latin-1.
    EXPECT_EQ(core::encodeString("\xE2\x82\xAC", StringEncoding::WindowsCP1252), Bytes{0x80});
    EXPECT_EQ(core::decodeString(Bytes{0x80}, StringEncoding::WindowsCP1252), "\xE2\x82\xAC");
    EXPECT_EQ(core::decodeString(Bytes{}, StringEncoding::UTF8), "");
    // The byte-order mark decides the order of UTF-16 without an explicit one.
    EXPECT_EQ(core::decodeString(Bytes{0xFF, 0xFE, 'h', 0, 'i', 0}, StringEncoding::Unicode), "hi");
    EXPECT_EQ(core::decodeString(Bytes{0xFE, 0xFF, 0, 'h', 0, 'i'}, StringEncoding::Unicode), "hi");
}

TEST(StringEncoding, AsciiTextKeepsItsBytesOnlyInEncodingsThatWriteAsciiAsItself) {
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) {
        ascii.push_back(static_cast<char>(c));
    }
    const Bytes same(ascii.begin(), ascii.end());
    for (StringEncoding encoding : {StringEncoding::ASCII, StringEncoding::UTF8,
                                    StringEncoding::ISOLatin1, StringEncoding::WindowsCP1252}) {
        SCOPED_TRACE(core::toRaw(encoding));
        EXPECT_EQ(core::encodeString(ascii, encoding), same);
        EXPECT_EQ(core::decodeString(same, encoding), ascii);
    }
    auto wide = core::encodeString("ok", StringEncoding::UTF16LittleEndian);
    EXPECT_EQ(wide, (Bytes{'o', 0, 'k', 0}));
    auto marked = core::encodeString("ok", StringEncoding::Unicode);
    ASSERT_TRUE(marked.has_value());
    EXPECT_EQ(marked->size(), 6u);  // a byte-order mark, then two units
    EXPECT_EQ(core::decodeString(*marked, StringEncoding::Unicode), "ok");
}

TEST(StringEncoding, InvalidBytesGiveNoText) {
    EXPECT_FALSE(core::decodeString(Bytes{'a', 0xC3}, StringEncoding::UTF8));  // cut short
    EXPECT_FALSE(core::decodeString(Bytes{0xFF, 'a'}, StringEncoding::UTF8));
    EXPECT_FALSE(core::decodeString(Bytes{0xC0, 0xAF}, StringEncoding::UTF8));        // overlong
    EXPECT_FALSE(core::decodeString(Bytes{0xED, 0xA0, 0x80}, StringEncoding::UTF8));  // surrogate
    EXPECT_FALSE(core::decodeString(Bytes{'a', 0x80}, StringEncoding::ASCII));
    EXPECT_FALSE(core::decodeString(Bytes{'a', 0, 'b'}, StringEncoding::UTF16LittleEndian));
    // A lone surrogate in UTF-16.
    EXPECT_FALSE(core::decodeString(Bytes{0x00, 0xD8, 'a', 0}, StringEncoding::UTF16LittleEndian));
}

TEST(StringEncoding, UnrepresentableCharactersGiveNoBytes) {
    EXPECT_FALSE(core::encodeString("\xE2\x82\xAC", StringEncoding::ISOLatin1));
    EXPECT_FALSE(core::encodeString(kCafe, StringEncoding::ASCII));
    EXPECT_FALSE(core::encodeString("\xF0\x9F\x93\xB7", StringEncoding::WindowsCP1252));
    EXPECT_FALSE(core::encodeString("bad \xFF utf-8", StringEncoding::UTF8));
    EXPECT_EQ(core::encodeString("plain", StringEncoding::ASCII), core::bytesFromString("plain"));
}

TEST(StringEncoding, EncodingsWithoutAConverterConvertNothing) {
    EXPECT_FALSE(core::isSupported(StringEncoding::NEXTSTEP));
    EXPECT_FALSE(core::encodeString("a", StringEncoding::NonLossyASCII));
    EXPECT_FALSE(core::decodeString(Bytes{'a'}, static_cast<StringEncoding>(999)));
    EXPECT_TRUE(core::isSupported(StringEncoding::ShiftJIS));
}

TEST(IANACharsetNames, MapBothWaysWhateverTheCaseOrAlias) {
    EXPECT_EQ(core::encodingForIANACharsetName("utf-8"), StringEncoding::UTF8);
    EXPECT_EQ(core::encodingForIANACharsetName("UTF-8"), StringEncoding::UTF8);
    EXPECT_EQ(core::encodingForIANACharsetName("iso-8859-1"), StringEncoding::ISOLatin1);
    EXPECT_EQ(core::encodingForIANACharsetName("ISO-8859-1"), StringEncoding::ISOLatin1);
    EXPECT_EQ(core::encodingForIANACharsetName("latin1"), StringEncoding::ISOLatin1);
    EXPECT_EQ(core::encodingForIANACharsetName("Windows-1252"), StringEncoding::WindowsCP1252);
    EXPECT_EQ(core::encodingForIANACharsetName("cp1252"), StringEncoding::WindowsCP1252);
    EXPECT_EQ(core::encodingForIANACharsetName("US-ASCII"), StringEncoding::ASCII);
    EXPECT_EQ(core::encodingForIANACharsetName("utf-16le"), StringEncoding::UTF16LittleEndian);
    EXPECT_EQ(core::encodingForIANACharsetName("X-NeXTSTEP"), StringEncoding::NEXTSTEP);
    EXPECT_FALSE(core::encodingForIANACharsetName("no-such-charset"));
    EXPECT_FALSE(core::encodingForIANACharsetName(""));

    // Encodings name themselves in lower case, and the names map back.
    EXPECT_EQ(core::ianaCharsetName(StringEncoding::UTF8), "utf-8");
    EXPECT_EQ(core::ianaCharsetName(StringEncoding::ISOLatin1), "iso-8859-1");
    EXPECT_FALSE(core::ianaCharsetName(StringEncoding::NonLossyASCII));
    for (auto encoding :
         {StringEncoding::ASCII, StringEncoding::WindowsCP1252, StringEncoding::Unicode,
          StringEncoding::UTF16BigEndian, StringEncoding::UTF32LittleEndian,
          StringEncoding::ShiftJIS, StringEncoding::JapaneseEUC, StringEncoding::ISO2022JP,
          StringEncoding::MacOSRoman}) {
        SCOPED_TRACE(core::toRaw(encoding));
        EXPECT_EQ(core::encodingForIANACharsetName(*core::ianaCharsetName(encoding)), encoding);
    }
}
