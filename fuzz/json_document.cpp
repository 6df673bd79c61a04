// JSON answers are untrusted. Raw bytes parse to an object or array, or to an error, never
// both and never neither; and a document written from a random value tree parses back to
// that very tree, so escapes, numbers and nesting are read as they were meant.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "net/operations/JSONRequestOperation.h"

namespace {

void writeString(const std::string& text, std::string& out) {
    out += '"';
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// ASCII only, so the text is UTF-8 whatever the fuzzer picks.
std::string asciiText(FuzzedDataProvider& input) {
    std::string text;
    for (int n = input.ConsumeIntegralInRange(0, 12); n > 0; --n) {
        text += static_cast<char>(input.ConsumeIntegralInRange(1, 127));
    }
    return text;
}

core::Value randomValue(FuzzedDataProvider& input, int depth, std::string& out) {
    const int kind = input.ConsumeIntegralInRange(0, depth > 0 ? 5 : 3);
    switch (kind) {
        case 0:
            out += "null";
            return nullptr;
        case 1: {
            const bool flag = input.ConsumeBool();
            out += flag ? "true" : "false";
            return flag;
        }
        case 2: {
            const auto number = input.ConsumeIntegral<std::int64_t>();
            out += std::to_string(number);
            return number;
        }
        case 3: {
            const std::string text = asciiText(input);
            writeString(text, out);
            return text;
        }
        case 4: {
            core::Value::List list;
            out += '[';
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                out += list.empty() ? "" : ",";
                list.push_back(randomValue(input, depth - 1, out));
            }
            out += ']';
            return list;
        }
        default: {
            core::Value::Map map;
            out += '{';
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                const std::string key = "k" + std::to_string(map.size());
                out += map.empty() ? "" : ",";
                writeString(key, out);
                out += ':';
                map[key] = randomValue(input, depth - 1, out);
            }
            out += '}';
            return map;
        }
    }
}

void checkOutcome(const core::Value& value, const std::shared_ptr<const core::Error>& error) {
    fuzz::check((error == nullptr) != value.isNull(), "either a value or an error");
    if (!error) {
        fuzz::check(value.isMap() || value.isList(), "a document is an object or an array");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::shared_ptr<const core::Error> error;
    if (input.ConsumeBool()) {
        const std::string text = input.ConsumeRemainingBytesAsString();
        checkOutcome(net::parseJSONDocument(text, error), error);
        return 0;
    }
    const bool wrapped = input.ConsumeBool();
    std::string text = wrapped ? "[" : "";
    core::Value expected = randomValue(input, 6, text);
    if (wrapped) {
        text += ']';
        expected = core::Value::List{expected};
    } else if (expected.isLeaf()) {
        return 0;
    }
    const core::Value parsed = net::parseJSONDocument(text, error);
    checkOutcome(parsed, error);
    fuzz::check(error == nullptr, "a well-formed document parses");
    fuzz::check(parsed == expected, "a document parses back to the tree it was written from");
    return 0;
}
