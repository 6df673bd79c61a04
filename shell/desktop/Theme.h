#pragma once

#include "platform/ui/Color.h"

namespace shell {

// The desktop look: one palette and one type scale, so every control agrees with the others.
struct Theme {
    static ui::Color rgb(int hex, double alpha = 1.0) {
        return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0,
                alpha};
    }

    // Palette.
    static ui::Color background() { return rgb(0xf4f5f7); }
    static ui::Color surface() { return rgb(0xffffff); }
    static ui::Color ink() { return rgb(0x1c1f26); }
    static ui::Color mutedInk() { return rgb(0x8a8f99); }
    static ui::Color hairline() { return rgb(0xd9dce1); }
    static ui::Color accent() { return rgb(0x2f6fed); }
    static ui::Color accentInk() { return rgb(0xffffff); }
    static ui::Color danger() { return rgb(0xd93a3a); }
    static ui::Color darkBar() { return rgb(0x1c1f26, 0.92); }
    static ui::Color lightBar() { return rgb(0xffffff, 0.94); }
    static ui::Color scrim() { return rgb(0x0b0d12, 0.45); }
    static ui::Color cameraBackdrop() { return rgb(0x0b0d12); }

    // Type scale, in points.
    static constexpr double kCaption = 12;
    static constexpr double kBody = 15;
    static constexpr double kTitle = 17;
    static constexpr const char* kFontFamily = "DejaVu Sans";

    // Shapes, in points.
    static constexpr double kCornerRadius = 8;
    static constexpr double kFieldPadding = 10;
    static constexpr double kBarItemPadding = 12;
    static constexpr double kPromptWidth = 270;
    static constexpr double kPromptButtonHeight = 44;
    static constexpr double kSheetMargin = 8;

    // Motion, in seconds.
    static constexpr double kPromptFade = 0.2;
    static constexpr double kSheetSlide = 0.25;
    static constexpr double kSpinnerTurn = 1.0;
};

}  // namespace shell
