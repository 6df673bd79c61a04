#pragma once

#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

namespace ui {

// Where a picture lands on a canvas, in canvas pixels: the whole picture is stretched to
// width x height (independently along each axis) with its top left at (x, y). Parts outside
// the canvas are not computed.
struct Placement {
    long long x = 0;
    long long y = 0;
    long long width = 0;
    long long height = 0;
};

// Pixel work behind drawing: turning stored pixels upright and resampling them. Shrinking
// averages the covered area of each target pixel; enlarging interpolates bilinearly.
// Colours are averaged with alpha premultiplied so transparent pixels do not bleed.
class Resampler {
public:
    // The pixels as `orientation` shows them (a copy; the same bitmap for Up).
    static BitmapPtr upright(const BitmapPtr& stored, ImageOrientation orientation);

    // Draws `source` (already upright) source-over onto the RGBA8 `canvas`.
    static void draw(const Bitmap& source, const Placement& placement, Bitmap* canvas);
};

}  // namespace ui
