// The service's form decoder on hostile bodies: it either refuses the body or yields fields
// that, written out again with every byte escaped, decode to the same fields.
#include <string>

#include "fuzz/FuzzCheck.h"
#include "orderd/UrlEncodedForm.h"

namespace {

std::string escapeEverything(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += '%';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto fields = orderd::decodeUrlEncodedForm(body);
    if (!fields) {
        return 0;
    }
    std::string again;
    for (const auto& [key, value] : *fields) {
        again += (again.empty() ? "" : "&") + escapeEverything(key) + "=" + escapeEverything(value);
    }
    const auto decodedAgain = orderd::decodeUrlEncodedForm(again);
    fuzz::check(decodedAgain.has_value(), "re-encoded fields decode");
    fuzz::check(*decodedAgain == *fields, "re-encoded fields decode to themselves");
    return 0;
}
