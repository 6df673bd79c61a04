#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// Reads an environment variable; none when it is unset.
using EnvironmentReader = std::function<std::optional<std::string>(const char* name)>;
EnvironmentReader processEnvironment();

// The user's preferred languages as language tags ("fr-CH", "en"), most preferred first:
// LANGUAGE's colon-separated list, else the locale named by LC_ALL, else LANG. The "C" and
// "POSIX" locales, and no setting at all, give "en".
std::vector<std::string> preferredLanguages(const EnvironmentReader& environment);

// "fr-CH, fr, en-us;q=0.8": the languages joined with ", ", then the fallback.
std::string acceptLanguageHeader(const std::vector<std::string>& languages);

// What a client tells servers about the app and the machine.
struct UserAgentParts {
    std::string applicationName;
    std::string applicationVersion;
    std::string deviceModel;
    std::string systemVersion;
    double screenScale = 1.0;
};

// What the installed provider reports. Without one: the executable's name, the project's
// version, "Desktop", the kernel release and the scale of $PROOFSHOT_SCREEN ("WxH@S", 2 when
// unset), the defaults of the UI layer. The app installs a provider that asks the UI layer's
// device and screen, which this layer does not link.
UserAgentParts currentUserAgentParts();
void setUserAgentPartsProvider(std::function<UserAgentParts()> provider);

// "Proofshot/0.1.0 (iPad; iOS 7.1; Scale/2.00)"
std::string userAgentHeader(const UserAgentParts& parts);

// Standard Base64 (RFC 4648) with padding, no line breaks.
std::string base64Encode(std::string_view bytes);

}  // namespace net
