#pragma once

#include <cmath>

namespace ui {

// Points, sizes and rectangles in points (a point is `scale` pixels), with the origin at the
// top left and y growing downwards.
struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(Point origin, Size size) : origin(origin), size(size) {}
    Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

    // A rectangle may carry a negative width or height; the edges below are those of its
    // standardized form, as the platform's rectangle functions read them.
    double minX() const { return std::fmin(origin.x, origin.x + size.width); }
    double maxX() const { return std::fmax(origin.x, origin.x + size.width); }
    double minY() const { return std::fmin(origin.y, origin.y + size.height); }
    double maxY() const { return std::fmax(origin.y, origin.y + size.height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }

    bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

inline double rectGetWidth(const Rect& rect) {
    return rect.width();
}
inline double rectGetHeight(const Rect& rect) {
    return rect.height();
}
inline double rectGetMinX(const Rect& rect) {
    return rect.minX();
}
inline double rectGetMinY(const Rect& rect) {
    return rect.minY();
}
inline double rectGetMaxX(const Rect& rect) {
    return rect.maxX();
}
inline double rectGetMaxY(const Rect& rect) {
    return rect.maxY();
}
inline double rectGetMidX(const Rect& rect) {
    return rect.midX();
}
inline double rectGetMidY(const Rect& rect) {
    return rect.midY();
}

// Distances inwards from each edge (cap insets of a stretchable image, section insets).
struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;

    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

// The rectangle shrunk by the insets (grown by negative ones).
inline Rect insetRect(const Rect& rect, const EdgeInsets& insets) {
    return Rect(rect.minX() + insets.left, rect.minY() + insets.top,
                rect.width() - insets.left - insets.right,
                rect.height() - insets.top - insets.bottom);
}

}  // namespace ui
