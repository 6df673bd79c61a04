#include "platform/ui/AffineTransform.h"

#include <algorithm>
#include <cmath>

namespace ui {

AffineTransform AffineTransform::makeRotation(double angle) {
    const double cosine = std::cos(angle);
    const double sine = std::sin(angle);
    return {cosine, sine, -sine, cosine, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& then) const {
    return {a * then.a + b * then.c,
            a * then.b + b * then.d,
            c * then.a + d * then.c,
            c * then.b + d * then.d,
            tx * then.a + ty * then.c + then.tx,
            tx * then.b + ty * then.d + then.ty};
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    const double determinant = a * d - b * c;
    // Relative to the size of the entries, so that a transform of tiny but sound scale
    // still inverts while a degenerate one of large entries does not.
    const double magnitude = std::max({std::fabs(a * d), std::fabs(b * c), 1e-300});
    if (!std::isfinite(determinant) || std::fabs(determinant) <= magnitude * 1e-12 ||
        !std::isfinite(tx) || !std::isfinite(ty)) {
        return std::nullopt;
    }
    const double ia = d / determinant;
    const double ib = -b / determinant;
    const double ic = -c / determinant;
    const double id = a / determinant;
    return AffineTransform{ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

Rect AffineTransform::apply(const Rect& rect) const {
    const Point corners[4] = {
        apply(Point{rect.minX(), rect.minY()}), apply(Point{rect.maxX(), rect.minY()}),
        apply(Point{rect.minX(), rect.maxY()}), apply(Point{rect.maxX(), rect.maxY()})};
    double minX = corners[0].x;
    double maxX = corners[0].x;
    double minY = corners[0].y;
    double maxY = corners[0].y;
    for (const Point& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

}  // namespace ui
