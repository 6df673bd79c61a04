// Property-list answers are untrusted: XML or binary, every input reads to a value with its
// format named, or to an error that says why. And a document written from a random value tree
// reads back to that very tree, so escapes, numbers, data and nesting are read as meant.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/FuzzCheck.h"
#include "net/operations/PropertyListRequestOperation.h"

namespace {

void writeText(const std::string& text, std::string& out) {
    for (const char c : text) {
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            out += "&amp;";
        } else {
            out += c;
        }
    }
}

void writeBase64(const core::Bytes& bytes, std::string& out) {
    static constexpr std::string_view digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        group |= left > 1 ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0;
        group |= left > 2 ? bytes[i + 2] : 0;
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += left > 1 ? digits[(group >> 6) & 63] : '=';
        out += left > 2 ? digits[group & 63] : '=';
    }
}

// Printable ASCII without leading or trailing blanks, which XML readers may trim.
std::string plainText(FuzzedDataProvider& input) {
    std::string text;
    for (int n = input.ConsumeIntegralInRange(0, 12); n > 0; --n) {
        text += static_cast<char>(input.ConsumeIntegralInRange<int>('!', '~'));
    }
    return text;
}

core::Value randomValue(FuzzedDataProvider& input, int depth, std::string& out) {
    switch (input.ConsumeIntegralInRange(0, depth > 0 ? 5 : 3)) {
        case 0: {
            const bool flag = input.ConsumeBool();
            out += flag ? "<true/>" : "<false/>";
            return flag;
        }
        case 1: {
            const auto number = input.ConsumeIntegral<std::int64_t>();
            out += "<integer>" + std::to_string(number) + "</integer>";
            return number;
        }
        case 2: {
            const std::string text = plainText(input);
            out += "<string>";
            writeText(text, out);
            out += "</string>";
            return text;
        }
        case 3: {
            const auto bytes =
                input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 16));
            const core::Bytes data(bytes.begin(), bytes.end());
            out += "<data>";
            writeBase64(data, out);
            out += "</data>";
            return data;
        }
        case 4: {
            core::Value::List list;
            out += "<array>";
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                list.push_back(randomValue(input, depth - 1, out));
            }
            out += "</array>";
            return list;
        }
        default: {
            core::Value::Map map;
            out += "<dict>";
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                const std::string key = "k" + std::to_string(map.size()) + plainText(input);
                out += "<key>";
                writeText(key, out);
                out += "</key>";
                map.set(key, randomValue(input, depth - 1, out));
            }
            out += "</dict>";
            return map;
        }
    }
}

void checkRawBytes(const core::Bytes& bytes) {
    net::PropertyListFormat format = net::PropertyListFormat::Unknown;
    std::shared_ptr<const core::Error> error;
    const core::Value value = net::parsePropertyList(bytes, format, error);
    if (error) {
        fuzz::check(format == net::PropertyListFormat::Unknown, "a refused list has no format");
        fuzz::check(!error->localizedDescription().empty(), "a refusal says why");
        return;
    }
    fuzz::check(format == net::PropertyListFormat::XML || format == net::PropertyListFormat::Binary,
                "a property list that was read has a format");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        const auto bytes = input.ConsumeRemainingBytes<std::uint8_t>();
        checkRawBytes(core::Bytes(bytes.begin(), bytes.end()));
        return 0;
    }
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    const core::Value expected = randomValue(input, 6, text);
    text += "</plist>\n";
    net::PropertyListFormat format = net::PropertyListFormat::Unknown;
    std::shared_ptr<const core::Error> error;
    const core::Value parsed = net::parsePropertyList(core::bytesFromString(text), format, error);
    fuzz::check(error == nullptr && format == net::PropertyListFormat::XML,
                "a well-formed XML property list reads");
    fuzz::check(parsed == expected, "a property list reads back to the tree it was written from");
    return 0;
}
