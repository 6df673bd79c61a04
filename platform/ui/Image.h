#pragma once

#include <memory>
#include <string>

#include "platform/core/Bytes.h"
#include "platform/core/Expected.h"
#include "platform/core/Object.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Geometry.h"

namespace ui {

// How the stored pixels are turned to be shown upright, in the platform's numbering (0 to 7).
// Right: the stored picture is shown turned a quarter clockwise (a camera held upright).
enum class ImageOrientation {
    Up = 0,
    Down = 1,
    Left = 2,
    Right = 3,
    UpMirrored = 4,
    DownMirrored = 5,
    LeftMirrored = 6,
    RightMirrored = 7,
};

// Whether the orientation turns the picture a quarter, so that it shows as tall as it is wide.
bool orientationSwapsAxes(ImageOrientation orientation);

// The error domain of decoding and encoding failures.
inline constexpr std::string_view ImageErrorDomain = "ImageErrorDomain";
enum class ImageError {
    UnknownFormat = 1,  // the bytes are none of JPEG, PNG, GIF, BMP, TIFF or ICO
    Corrupt = 2,        // the codec rejected the bytes
    TooLarge = 3,       // more pixels than we are willing to allocate for untrusted input
    Unsupported = 4,    // a valid file in a form we do not read
    EncodeFailed = 5,
};

// An immutable picture: a decoded bitmap, its scale (pixels per point) and orientation.
//
// An image made from JPEG bytes keeps those bytes and decodes them only when its pixels are
// first asked for, so a camera picture that is only redrawn small and written to the album is
// never decoded at full size. All members may be called from any thread.
class Image : public core::Object {
public:
    // Decodes JPEG, PNG, GIF (first frame), BMP, TIFF or ICO. JPEG EXIF orientation becomes
    // the image's orientation; the pixels stay as stored.
    static core::Expected<std::shared_ptr<Image>> create(const core::Bytes& data,
                                                         double scale = 1.0);
    // The same bitmap seen with another scale and orientation
    // (imageWithCGImage:scale:orientation:).
    static std::shared_ptr<Image> create(BitmapPtr bitmap, double scale = 1.0,
                                         ImageOrientation orientation = ImageOrientation::Up);
    // `image`'s pixels (decoded or not yet) with another scale and orientation.
    static std::shared_ptr<Image> create(const Image& image, double scale,
                                         ImageOrientation orientation);

    // Size in points as displayed: oriented, pixels divided by scale.
    Size size() const;
    double scale() const { return scale_; }
    ImageOrientation orientation() const { return orientation_; }
    // Dimensions of the stored bitmap, before orientation.
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }
    bool hasAlpha() const { return hasAlpha_; }

    // The full-size stored bitmap, decoded on first use and kept. Fails only for JPEG bytes
    // whose header was sound but whose image data is not.
    core::Expected<BitmapPtr> bitmap() const;

    // A stored-orientation bitmap at least `minWidth` x `minHeight` pixels (or full size if
    // smaller). Undecoded JPEG is decoded at the smallest DCT scale that covers the request,
    // which is what makes redrawing a camera picture small cheap; nothing is cached for it.
    core::Expected<BitmapPtr> bitmapCovering(int minWidth, int minHeight) const;

    // The JPEG bytes this image was decoded from, when writing them out as they are gives the
    // same picture (same orientation); otherwise null.
    std::shared_ptr<const core::Bytes> jpegData() const;

    std::string description() const override;

private:
    struct Source;
    Image(std::shared_ptr<Source> source, double scale, ImageOrientation orientation);

    std::shared_ptr<Source> source_;
    double scale_;
    ImageOrientation orientation_;
    int pixelWidth_;
    int pixelHeight_;
    bool hasAlpha_;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace ui
