#include "platform/url/URL.h"

#include <curl/curl.h>
#include <unistd.h>

#include <array>
#include <memory>

namespace url {
namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isUnreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isReserved(char c) {
    static constexpr std::string_view kReserved = ":/?#[]@!$&'()*+,;=";
    return kReserved.find(c) != std::string_view::npos;
}

std::optional<std::string> part(CURLU* handle, CURLUPart which, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(handle, which, &text, flags) != CURLUE_OK || text == nullptr) {
        return std::nullopt;
    }
    std::string result(text);
    curl_free(text);
    return result;
}

int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// libcurl will not decode escaped control characters and would leave the whole part empty, so
// the escapes are decoded here. NUL alone is refused: it would cut the text short wherever it
// reaches the OS ("/etc/passwd%00.jpg").
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 2 >= text.size() || !isHexDigit(text[i + 1]) ||
            !isHexDigit(text[i + 2])) {
            out.push_back(text[i]);
            continue;
        }
        const char byte = static_cast<char>(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2]));
        if (byte == '\0') {
            return std::nullopt;
        }
        out.push_back(byte);
        i += 2;
    }
    return out;
}

// Absent stays absent; a part that is present but does not decode makes the URL unreadable.
bool decodePart(CURLU* handle, CURLUPart which, std::optional<std::string>& into) {
    into = part(handle, which);
    if (into) {
        into = percentDecoded(*into);
        return into.has_value();
    }
    return true;
}

std::string escapePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        // pchar without "%" (a "%" in a file name is a literal percent) plus the separator.
        bool keep = isUnreserved(c) || c == '/' || c == ':' || c == '@' || c == '!' || c == '$' ||
                    c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' ||
                    c == ',' || c == ';' || c == '=';
        if (keep) {
            out.push_back(c);
        } else {
            auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
    }
    return out;
}

std::string currentDirectory() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) {
        return "/";
    }
    return buffer.data();
}

// The common reference, a path from the root ("/orders/7?x=1") against an http(s) base, takes
// the base's scheme and authority as libcurl prints them and the reference as it is: one parse
// of the result instead of three. Anything that needs more of RFC 3986's resolution (dot
// segments, a network-path "//", a base with user info or an IPv6 host) is left to libcurl.
std::optional<std::string> joinedWithAbsolutePath(std::string_view relative, const URL& base) {
    const bool pathOnly = relative.starts_with('/') && !relative.starts_with("//");
    const bool plainSegments = relative.find("/.") == std::string_view::npos &&
                               relative.find("%2e") == std::string_view::npos &&
                               relative.find("%2E") == std::string_view::npos;
    const bool plainBase = (base.scheme() == "http" || base.scheme() == "https") &&
                           !base.host().empty() && base.host().find('[') == std::string::npos &&
                           !base.user() && !base.password();
    if (!pathOnly || !plainSegments || !plainBase) {
        return std::nullopt;
    }
    std::string joined = base.scheme() + "://" + base.host();
    if (base.port()) {
        joined += ":" + std::to_string(*base.port());
    }
    joined += relative;
    return joined;
}

}  // namespace

bool hasOnlyURLCharacters(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!isUnreserved(c) && !isReserved(c)) {
            return false;
        }
    }
    return true;
}

std::optional<URL> URL::create(std::string_view string) {
    // A client makes the same URL over and over (one endpoint, request after request), and a
    // copy costs a fraction of a parse: each thread remembers the last URL it parsed.
    thread_local std::optional<URL> lastParsed;
    if (lastParsed && lastParsed->absoluteString() == string) {
        return lastParsed;
    }
    if (string.empty() || !hasOnlyURLCharacters(string)) {
        return std::nullopt;
    }
    CurlUrl handle(curl_url());
    std::string text(string);
    if (!handle ||
        curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), kParseFlags) != CURLUE_OK) {
        return std::nullopt;
    }
    auto url = fromCurlHandle(handle.get(), std::move(text));
    if (url) {
        lastParsed = url;
    }
    return url;
}

std::optional<URL> URL::create(std::string_view relative, const URL& base) {
    if (!hasOnlyURLCharacters(relative)) {
        return std::nullopt;
    }
    if (auto joined = joinedWithAbsolutePath(relative, base)) {
        return create(*joined);
    }
    CurlUrl handle(curl_url());
    std::string text(relative);
    if (!handle ||
        curl_url_set(handle.get(), CURLUPART_URL, base.absoluteString().c_str(), kParseFlags) !=
            CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), kParseFlags) != CURLUE_OK) {
        return std::nullopt;
    }
    auto absolute = part(handle.get(), CURLUPART_URL);
    if (!absolute) {
        return std::nullopt;
    }
    // Resolution can yield text the parser refuses on its own ("file:est:6" becomes
    // "file://est:6"); such a URL could not be archived and read back, so it is no URL.
    return create(*absolute);
}

URL URL::fileURL(std::string_view path) {
    std::string full =
        path.starts_with('/') ? std::string(path) : currentDirectory() + "/" + std::string(path);
    // Every byte of an absolute path escapes to URL characters, so this cannot fail.
    return *create("file://" + escapePath(full));
}

std::optional<URL> URL::fromCurlHandle(void* opaque, std::string absolute) {
    auto* handle = static_cast<CURLU*>(opaque);
    auto parts = std::make_shared<Parts>();
    parts->absolute = std::move(absolute);
    auto scheme = part(handle, CURLUPART_SCHEME);
    if (!scheme) {
        return std::nullopt;
    }
    parts->scheme = *scheme;
    parts->host = part(handle, CURLUPART_HOST).value_or("");
    if (auto port = part(handle, CURLUPART_PORT)) {
        parts->port = std::stoi(*port);
    }
    std::optional<std::string> path;
    if (!decodePart(handle, CURLUPART_PATH, path) ||
        !decodePart(handle, CURLUPART_USER, parts->user) ||
        !decodePart(handle, CURLUPART_PASSWORD, parts->password)) {
        return std::nullopt;
    }
    parts->path = path.value_or("");
    parts->query = part(handle, CURLUPART_QUERY);
    parts->fragment = part(handle, CURLUPART_FRAGMENT);
    return URL(std::move(parts));
}

std::string URL::lastPathComponent() const {
    std::string_view path = parts_->path;
    while (path.size() > 1 && path.ends_with('/')) {
        path.remove_suffix(1);
    }
    if (path == "/") {
        return "/";
    }
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string URL::pathExtension() const {
    std::string last = lastPathComponent();
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) {
        return {};
    }
    return last.substr(dot + 1);
}

int URL::effectivePort() const {
    if (parts_->port) {
        return *parts_->port;
    }
    if (parts_->scheme == "http") {
        return 80;
    }
    if (parts_->scheme == "https") {
        return 443;
    }
    return 0;
}

}  // namespace url
