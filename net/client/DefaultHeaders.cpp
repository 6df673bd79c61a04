#include "net/client/DefaultHeaders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/utsname.h>

#include <mutex>

#ifndef PROOFSHOT_VERSION
#define PROOFSHOT_VERSION "0.0.0"
#endif

namespace net {

namespace {

// "fr_CH.UTF-8@euro" -> "fr-CH"; empty for the C and POSIX locales.
std::string languageTag(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return {};
    }
    std::string tag(locale);
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

void addLanguage(std::vector<std::string>& languages, const std::string& tag) {
    if (!tag.empty() && std::find(languages.begin(), languages.end(), tag) == languages.end()) {
        languages.push_back(tag);
    }
}

}  // namespace

EnvironmentReader processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
}

std::vector<std::string> preferredLanguages(const EnvironmentReader& environment) {
    std::vector<std::string> languages;
    if (auto list = environment("LANGUAGE")) {
        std::string_view rest = *list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            addLanguage(languages, languageTag(rest.substr(0, colon)));
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    if (languages.empty()) {
        for (const char* name : {"LC_ALL", "LANG"}) {
            auto locale = environment(name);
            if (locale && !locale->empty()) {
                addLanguage(languages, languageTag(*locale));
                break;
            }
        }
    }
    if (languages.empty()) {
        languages.push_back("en");
    }
    return languages;
}

std::string acceptLanguageHeader(const std::vector<std::string>& languages) {
    std::string joined;
    for (const auto& language : languages) {
        joined += joined.empty() ? "" : ", ";
        joined += language;
    }
    return joined + ", en-us;q=0.8";
}

namespace {

std::mutex providerMutex;
std::function<UserAgentParts()> installedProvider;  // guarded by providerMutex

double screenScaleSetting() {
    const char* setting = std::getenv("PROOFSHOT_SCREEN");
    if (setting == nullptr) {
        return 2.0;
    }
    const char* at = std::strchr(setting, '@');
    const double scale = at == nullptr ? 1.0 : std::strtod(at + 1, nullptr);
    return scale > 0 ? scale : 1.0;
}

// The kernel's release does not change under a running process; asking for it is a system
// call, and every new client asks.
const std::string& systemRelease() {
    static const std::string release = [] {
        utsname system{};
        return uname(&system) == 0 ? std::string(system.release) : std::string();
    }();
    return release;
}

UserAgentParts platformDefaults() {
    return UserAgentParts{program_invocation_short_name, PROOFSHOT_VERSION, "Desktop",
                          systemRelease(), screenScaleSetting()};
}

}  // namespace

UserAgentParts currentUserAgentParts() {
    std::function<UserAgentParts()> provider;
    {
        std::lock_guard lock(providerMutex);
        provider = installedProvider;
    }
    return provider ? provider() : platformDefaults();
}

void setUserAgentPartsProvider(std::function<UserAgentParts()> provider) {
    std::lock_guard lock(providerMutex);
    installedProvider = std::move(provider);
}

std::string userAgentHeader(const UserAgentParts& parts) {
    // Every new client asks, nearly always with the same parts.
    static std::mutex lastMutex;
    static UserAgentParts lastParts;
    static std::string lastHeader;
    std::lock_guard lock(lastMutex);
    if (!lastHeader.empty() && parts.applicationName == lastParts.applicationName &&
        parts.applicationVersion == lastParts.applicationVersion &&
        parts.deviceModel == lastParts.deviceModel &&
        parts.systemVersion == lastParts.systemVersion &&
        parts.screenScale == lastParts.screenScale) {
        return lastHeader;
    }
    char scale[32];
    std::snprintf(scale, sizeof scale, "%0.2f", parts.screenScale);
    lastParts = parts;
    lastHeader = parts.applicationName + "/" + parts.applicationVersion + " (" +
                 parts.deviceModel + "; iOS " + parts.systemVersion + "; Scale/" + scale + ")";
    return lastHeader;
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t chunk = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            chunk = (chunk << 8) | (j < n ? static_cast<std::uint8_t>(bytes[i + j]) : 0);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out += j <= n ? kAlphabet[(chunk >> (18 - 6 * j)) & 0x3f] : '=';
        }
    }
    return out;
}

}  // namespace net
