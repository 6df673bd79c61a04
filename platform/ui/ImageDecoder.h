#pragma once

#include <string>

#include "platform/core/Bytes.h"
#include "platform/core/Error.h"
#include "platform/core/Expected.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"

namespace ui {

enum class ImageFormat { Unknown, JPEG, PNG, GIF, BMP, TIFF, ICO };

// Turns the bytes of a picture file into pixels. Bytes come from the network and from files
// the user picked, so nothing here trusts them: every failure is an error value and sizes are
// bounded before anything is allocated.
class ImageDecoder {
public:
    // Larger pictures are refused rather than decoded (about 400 MB as RGBA).
    static constexpr long long kMaxPixels = 100'000'000;

    // The format by its leading magic bytes.
    static ImageFormat sniff(const core::Bytes& data);

    // The whole picture of every format but JPEG, which JPEGDecoder reads.
    static core::Expected<BitmapPtr> decode(const core::Bytes& data, ImageFormat format);

    static core::Error error(ImageError code, const std::string& message);
    static bool withinLimits(long long width, long long height);
    // The orientation an EXIF or TIFF Orientation tag value (1 to 8) stands for; Up for
    // anything else.
    static ImageOrientation orientationFromTag(int value);
};

}  // namespace ui
