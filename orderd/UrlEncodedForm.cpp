#include "orderd/UrlEncodedForm.h"

namespace orderd {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out.push_back(' ');
        } else if (text[i] != '%') {
            out.push_back(text[i]);
        } else {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            int high = hexValue(text[i + 1]);
            int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    }
    return out;
}

}  // namespace

std::optional<FormFields> decodeUrlEncodedForm(std::string_view body) {
    FormFields fields;
    while (!body.empty()) {
        auto end = body.find('&');
        auto pair = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);
        if (pair.empty()) {
            continue;
        }
        auto equals = pair.find('=');
        auto key = unescape(pair.substr(0, equals));
        auto value = unescape(equals == std::string_view::npos ? std::string_view{}
                                                               : pair.substr(equals + 1));
        if (!key || !value || !fields.emplace(std::move(*key), std::move(*value)).second) {
            return std::nullopt;
        }
    }
    return fields;
}

}  // namespace orderd
