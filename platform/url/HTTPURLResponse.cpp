#include "platform/url/HTTPURLResponse.h"

#include <algorithm>
#include <charconv>

namespace url {
namespace {

std::string trimmed(std::string_view text) {
    auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    auto end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// The value of `name` among the ";"-separated parameters of a header value.
std::optional<std::string> parameter(std::string_view value, std::string_view name) {
    size_t start = value.find(';');
    while (start != std::string_view::npos) {
        size_t end = value.find(';', start + 1);
        std::string piece = trimmed(value.substr(start + 1, end - start - 1));
        auto equals = piece.find('=');
        if (equals != std::string::npos &&
            HTTPHeaderFields::namesEqual(trimmed(piece.substr(0, equals)), name)) {
            return unquoted(trimmed(piece.substr(equals + 1)));
        }
        start = end;
    }
    return std::nullopt;
}

std::optional<std::string> mimeTypeOf(const HTTPHeaderFields& fields) {
    auto type = fields.get("Content-Type");
    if (!type) {
        return std::nullopt;
    }
    std::string bare = lowered(trimmed(type->substr(0, type->find(';'))));
    return bare.empty() ? std::nullopt : std::optional<std::string>(bare);
}

std::optional<std::string> charsetOf(const HTTPHeaderFields& fields) {
    auto type = fields.get("Content-Type");
    if (!type) {
        return std::nullopt;
    }
    auto charset = parameter(*type, "charset");
    return charset ? std::optional<std::string>(lowered(*charset)) : std::nullopt;
}

std::int64_t contentLengthOf(const HTTPHeaderFields& fields) {
    auto text = fields.get("Content-Length");
    if (!text) {
        return URLResponse::kUnknownLength;
    }
    std::string digits = trimmed(*text);
    std::int64_t length = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (error != std::errc{} || end != digits.data() + digits.size() || length < 0) {
        return URLResponse::kUnknownLength;
    }
    return length;
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headerFields)
    : URLResponse(std::move(url), mimeTypeOf(headerFields), contentLengthOf(headerFields),
                  charsetOf(headerFields)),
      statusCode_(statusCode),
      headerFields_(std::move(headerFields)) {}

std::string HTTPURLResponse::suggestedFilename() const {
    if (auto disposition = headerFields_.get("Content-Disposition")) {
        if (auto name = parameter(*disposition, "filename"); name && !name->empty()) {
            // Only the last component: a server must not steer where a file lands.
            auto slash = name->find_last_of("/\\");
            std::string base = slash == std::string::npos ? *name : name->substr(slash + 1);
            if (!base.empty() && base != "." && base != "..") {
                return base;
            }
        }
    }
    return URLResponse::suggestedFilename();
}

std::string HTTPURLResponse::localizedStringForStatusCode(int statusCode) {
    switch (statusCode / 100) {
        case 1:
            return "informational";
        case 2:
            return statusCode == 204 ? "no data" : "success";
        case 3:
            return "redirected";
        case 4:
            switch (statusCode) {
                case 401:
                    return "unauthorized";
                case 403:
                    return "forbidden";
                case 404:
                    return "not found";
                default:
                    return "client error";
            }
        case 5:
            return "server error";
        default:
            return "unknown";
    }
}

std::string HTTPURLResponse::description() const {
    return "<HTTPURLResponse: " + url_.absoluteString() +
           " { status code: " + std::to_string(statusCode_) + " }>";
}

}  // namespace url
