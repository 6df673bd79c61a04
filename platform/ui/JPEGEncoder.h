#pragma once

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

namespace ui {

// JPEG bytes of an image at `quality` from 0.0 to 1.0; larger values count as 1.0 (so 90.0
// gives the same bytes as 1.0), smaller ones as 0.0. The pixels are written upright, so the
// result needs no orientation tag; transparency is flattened onto black.
core::Expected<core::Bytes> JPEGRepresentation(const Image& image, double quality);

class JPEGEncoder {
public:
    // libjpeg quality from 0 to 100, after clamping `quality` as above. NaN reads as 0.
    static int libjpegQuality(double quality);
    // Encodes RGB8 or RGBA8 pixels (alpha flattened onto black) at libjpeg quality 0..100.
    static core::Expected<core::Bytes> encode(const Bitmap& bitmap, int quality);
};

}  // namespace ui
