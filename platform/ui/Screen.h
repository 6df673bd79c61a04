#pragma once

#include <string>
#include <string_view>

#include "platform/core/Expected.h"
#include "platform/ui/Geometry.h"

namespace ui {

// The display the app runs on: its bounds in points and its scale (pixels per point). It is
// 320 x 568 at scale 2 unless configured, or unless $PROOFSHOT_SCREEN says otherwise
// ("320x480@2", "768x1024@2"). Any thread.
class Screen {
public:
    static Screen main();
    static void configure(Size size, double scale);
    // "WIDTHxHEIGHT@SCALE" (the scale may be left out: 1); anything else is a BadValue error.
    static core::Expected<void> configure(std::string_view setting);

    Rect bounds() const { return Rect(Point{}, size_); }
    double scale() const { return scale_; }

    static constexpr Size kPhoneTall{320, 568};
    static constexpr Size kPhone{320, 480};
    static constexpr Size kTablet{768, 1024};

private:
    Screen(Size size, double scale) : size_(size), scale_(scale) {}
    static core::Expected<Screen> parse(std::string_view setting);

    Size size_;
    double scale_;
};

}  // namespace ui
