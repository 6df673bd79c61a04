#include "platform/ui/Screen.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/core/Log.h"
#include "platform/ui/InterfaceError.h"

namespace ui {

namespace {

std::mutex screenMutex;
std::optional<std::pair<Size, double>> configured;  // guarded by screenMutex

}  // namespace

core::Expected<Screen> Screen::parse(std::string_view setting) {
    std::string text(setting);
    double width = 0;
    double height = 0;
    double scale = 1;
    int used = 0;
    int fields = std::sscanf(text.c_str(), "%lfx%lf%n", &width, &height, &used);
    bool ok = fields == 2;
    if (ok && used < static_cast<int>(text.size())) {
        int scaleUsed = 0;
        ok = std::sscanf(text.c_str() + used, "@%lf%n", &scale, &scaleUsed) == 1 &&
             used + scaleUsed == static_cast<int>(text.size());
    }
    if (!ok || width <= 0 || height <= 0 || scale <= 0 || width > 10000 || height > 10000 ||
        scale > 8) {
        return makeInterfaceError(
            InterfaceError::BadValue,
            "screen setting \"" + text + "\" is not WIDTHxHEIGHT@SCALE, such as 320x568@2");
    }
    return Screen(Size{width, height}, scale);
}

Screen Screen::main() {
    std::lock_guard lock(screenMutex);
    if (!configured) {
        configured = std::make_pair(kPhoneTall, 2.0);
        if (const char* setting = std::getenv("PROOFSHOT_SCREEN")) {
            auto parsed = parse(setting);
            if (parsed) {
                configured = std::make_pair(parsed->size_, parsed->scale_);
            } else {
                core::log(parsed.error().localizedDescription());
            }
        }
    }
    return Screen(configured->first, configured->second);
}

void Screen::configure(Size size, double scale) {
    std::lock_guard lock(screenMutex);
    configured = std::make_pair(size, scale);
}

core::Expected<void> Screen::configure(std::string_view setting) {
    auto parsed = parse(setting);
    if (!parsed) {
        return parsed.error();
    }
    configure(parsed->size_, parsed->scale_);
    return {};
}

}  // namespace ui
