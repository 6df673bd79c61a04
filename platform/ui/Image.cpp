#include "platform/ui/Image.h"

#include <cmath>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGDecoder.h"

namespace ui {

bool orientationSwapsAxes(ImageOrientation orientation) {
    switch (orientation) {
        case ImageOrientation::Left:
        case ImageOrientation::Right:
        case ImageOrientation::LeftMirrored:
        case ImageOrientation::RightMirrored:
            return true;
        default:
            return false;
    }
}

// The pixels behind one or more images: either a decoded bitmap, or JPEG bytes that are
// decoded when first needed. Images re-wrapped with another scale share it.
struct Image::Source {
    std::shared_ptr<const core::Bytes> jpeg;
    ImageOrientation jpegOrientation = ImageOrientation::Up;
    int width = 0;
    int height = 0;
    bool hasAlpha = false;

    std::mutex mutex;
    BitmapPtr bitmap;                  // guarded by mutex once the source is shared
    std::optional<core::Error> error;  // guarded by mutex: a failed decode is not retried
};

namespace {

double sanitizedScale(double scale) {
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

}  // namespace

Image::Image(std::shared_ptr<Source> source, double scale, ImageOrientation orientation)
    : source_(std::move(source)),
      scale_(sanitizedScale(scale)),
      orientation_(orientation),
      pixelWidth_(source_->width),
      pixelHeight_(source_->height),
      hasAlpha_(source_->hasAlpha) {}

core::Expected<std::shared_ptr<Image>> Image::create(const core::Bytes& data, double scale) {
    const ImageFormat format = ImageDecoder::sniff(data);
    auto source = std::make_shared<Source>();
    if (format == ImageFormat::JPEG) {
        core::Expected<JPEGInfo> info = JPEGDecoder::readHeader(data);
        if (!info) {
            return info.error();
        }
        source->jpeg = std::make_shared<const core::Bytes>(data);
        source->jpegOrientation = info->orientation;
        source->width = info->width;
        source->height = info->height;
        return std::shared_ptr<Image>(new Image(source, scale, info->orientation));
    }
    core::Expected<BitmapPtr> bitmap = ImageDecoder::decode(data, format);
    if (!bitmap) {
        return bitmap.error();
    }
    return create(*bitmap, scale, ImageOrientation::Up);
}

std::shared_ptr<Image> Image::create(BitmapPtr bitmap, double scale, ImageOrientation orientation) {
    auto source = std::make_shared<Source>();
    source->width = bitmap->width();
    source->height = bitmap->height();
    source->hasAlpha = bitmap->format() == PixelFormat::RGBA8;
    source->bitmap = std::move(bitmap);
    return std::shared_ptr<Image>(new Image(std::move(source), scale, orientation));
}

std::shared_ptr<Image> Image::create(const Image& image, double scale,
                                     ImageOrientation orientation) {
    return std::shared_ptr<Image>(new Image(image.source_, scale, orientation));
}

Size Image::size() const {
    double width = pixelWidth_ / scale_;
    double height = pixelHeight_ / scale_;
    return orientationSwapsAxes(orientation_) ? Size{height, width} : Size{width, height};
}

core::Expected<BitmapPtr> Image::bitmap() const {
    std::lock_guard lock(source_->mutex);
    if (source_->bitmap) {
        return source_->bitmap;
    }
    if (source_->error) {
        return *source_->error;
    }
    core::Expected<BitmapPtr> decoded = JPEGDecoder::decode(*source_->jpeg);
    if (!decoded) {
        source_->error = decoded.error();
        return decoded;
    }
    source_->bitmap = *decoded;
    return decoded;
}

core::Expected<BitmapPtr> Image::bitmapCovering(int minWidth, int minHeight) const {
    {
        std::lock_guard lock(source_->mutex);
        if (source_->bitmap || source_->error) {
            return source_->bitmap ? core::Expected<BitmapPtr>(source_->bitmap)
                                   : core::Expected<BitmapPtr>(*source_->error);
        }
    }
    int scale = JPEGDecoder::scaleCovering(pixelWidth_, pixelHeight_, minWidth, minHeight);
    return scale == 8 ? bitmap() : JPEGDecoder::decode(*source_->jpeg, scale);
}

std::shared_ptr<const core::Bytes> Image::jpegData() const {
    return orientation_ == source_->jpegOrientation ? source_->jpeg : nullptr;
}

std::string Image::description() const {
    std::ostringstream out;
    Size points = size();
    out << "<Image " << this << "> size {" << points.width << ", " << points.height << "} scale "
        << scale_ << " orientation " << static_cast<int>(orientation_);
    return out.str();
}

}  // namespace ui
