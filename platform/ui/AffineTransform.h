#pragma once

#include <optional>

#include "platform/ui/Geometry.h"

namespace ui {

// A 2-D affine transform, mapping (x, y) to (a x + c y + tx, b x + d y + ty): scale,
// rotation, shear and translation, in the platform's row-vector convention.
struct AffineTransform {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform makeTranslation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static AffineTransform makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // Radians; positive turns clockwise on screen, where y grows downwards.
    static AffineTransform makeRotation(double angle);

    bool isIdentity() const { return *this == AffineTransform{}; }
    // `this` first, then `then`.
    AffineTransform concat(const AffineTransform& then) const;
    // Empty when the transform squashes the plane to a line or a point (or is not finite).
    std::optional<AffineTransform> inverted() const;

    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The smallest upright rectangle holding the transformed corners of `rect`.
    Rect apply(const Rect& rect) const;

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

}  // namespace ui
