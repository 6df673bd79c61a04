#pragma once

namespace ui {

// A colour as red, green, blue and alpha from 0 to 1.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static Color black() { return {0, 0, 0, 1}; }
    static Color white() { return {1, 1, 1, 1}; }
    static Color clear() { return {0, 0, 0, 0}; }
    static Color gray(double white, double alpha = 1) { return {white, white, white, alpha}; }

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace ui
