#pragma once

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

namespace ui {

struct JPEGInfo {
    int width = 0;
    int height = 0;
    ImageOrientation orientation = ImageOrientation::Up;  // from the EXIF Orientation tag
};

// JPEG through libjpeg-turbo, with decoding scaled in the DCT domain: at n/8 of full size
// the decoder skips most of the inverse transform work instead of decoding and then shrinking.
class JPEGDecoder {
public:
    // Reads the header and the EXIF orientation only; checks the size limit.
    static core::Expected<JPEGInfo> readHeader(const core::Bytes& data);
    // Decodes at scaleEighths/8 of full size (1 to 8), RGB8.
    static core::Expected<BitmapPtr> decode(const core::Bytes& data, int scaleEighths = 8);
    // The smallest n in 1..8 such that width x height decoded at n/8 is at least
    // minWidth x minHeight.
    static int scaleCovering(int width, int height, int minWidth, int minHeight);
};

}  // namespace ui
