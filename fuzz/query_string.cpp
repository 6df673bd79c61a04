// Query-string escaping and flattening: the escaped text uses only the kept characters and
// %XX, decodes back to its input, and a flat string-to-string map survives the trip through
// the service's own form decoder unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/FuzzCheck.h"
#include "net/client/QueryString.h"
#include "orderd/UrlEncodedForm.h"

namespace {

bool isKept(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '*' || c == '\'' || c == ',' || c == '[' || c == ']';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;  // lower-case hex is not what the escaper writes
}

// Undoes the escaping without trusting it: anything malformed is a finding.
std::string unescapeStrictly(const std::string& escaped) {
    std::string out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '%') {
            fuzz::check(isKept(escaped[i]), "escaped text holds only kept characters and %XX");
            out.push_back(escaped[i]);
            continue;
        }
        fuzz::check(i + 2 < escaped.size(), "an escape has two digits");
        const int high = hexDigit(escaped[i + 1]);
        const int low = hexDigit(escaped[i + 2]);
        fuzz::check(high >= 0 && low >= 0, "escapes are upper-case hex");
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

core::Value randomTree(FuzzedDataProvider& input, int depth) {
    switch (depth > 3 ? 0 : input.ConsumeIntegralInRange(0, 4)) {
        case 0:
            return core::Value(input.ConsumeRandomLengthString(24));
        case 1:
            return core::Value(input.ConsumeIntegral<std::int64_t>());
        case 2:
            return core::Value(nullptr);
        case 3: {
            core::Value::List list;
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                list.push_back(randomTree(input, depth + 1));
            }
            return core::Value(std::move(list));
        }
        default: {
            core::Value::Map map;
            for (int n = input.ConsumeIntegralInRange(0, 4); n > 0; --n) {
                map.set(input.ConsumeRandomLengthString(12), randomTree(input, depth + 1));
            }
            return core::Value(std::move(map));
        }
    }
}

void checkEscaping(const std::string& text) {
    const auto escaped = net::EscapeQueryComponent(text);
    // Bytes that are not UTF-8 are escaped as they are, so nothing is lost on the way.
    fuzz::check(escaped.has_value(), "UTF-8 escaping takes any bytes");
    fuzz::check(unescapeStrictly(*escaped) == text, "escaping is undone exactly");
}

void checkFlattening(FuzzedDataProvider& input) {
    const core::Value tree = randomTree(input, 0);
    const auto pairs = net::FlattenParameters(std::nullopt, tree);
    for (const auto& pair : pairs) {
        fuzz::check(pair.value().isLeaf(), "flattened values are leaves");
    }
    if (const auto* map = tree.asMap()) {
        const auto query = net::BuildQueryString(*map);
        if (query && !query->empty()) {
            std::size_t ampersands = 0;
            for (char c : *query) {
                ampersands += c == '&' ? 1 : 0;
            }
            fuzz::check(ampersands + 1 == pairs.size(), "one '&' between each pair");
        }
    }
}

// The service reads what the app writes: a flat map of texts decodes to the same fields.
void checkAgainstTheServiceDecoder(FuzzedDataProvider& input) {
    core::Value::Map fields;
    for (int n = input.ConsumeIntegralInRange(0, 5); n > 0; --n) {
        fields.set(input.ConsumeRandomLengthString(16), input.ConsumeRandomLengthString(32));
    }
    const auto query = net::BuildQueryString(fields);
    if (!query) {
        return;
    }
    const auto decoded = orderd::decodeUrlEncodedForm(*query);
    fuzz::check(decoded.has_value(), "the service decodes every query the app builds");
    for (const auto& [key, value] : fields) {
        const auto found = decoded->find(key);
        fuzz::check(found != decoded->end(), "every field arrives");
        fuzz::check(found->second == *value.asString(), "every value arrives unchanged");
    }
    fuzz::check(decoded->size() == fields.size(), "no field is invented");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0:
            checkEscaping(input.ConsumeRemainingBytesAsString());
            break;
        case 1:
            checkFlattening(input);
            break;
        default:
            checkAgainstTheServiceDecoder(input);
            break;
    }
    return 0;
}
