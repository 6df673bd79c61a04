#include "platform/ui/PNGEncoder.h"

#include <png.h>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/Resampler.h"

namespace ui {

core::Expected<core::Bytes> PNGRepresentation(const Image& image) {
    core::Expected<BitmapPtr> stored = image.bitmap();
    if (!stored) {
        return stored.error();
    }
    BitmapPtr upright = Resampler::upright(*stored, image.orientation());
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(upright->width());
    png.height = static_cast<png_uint_32>(upright->height());
    png.format = upright->format() == PixelFormat::RGBA8 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, upright->pixels().data(), 0, nullptr)) {
        return ImageDecoder::error(ImageError::EncodeFailed,
                                   std::string("PNG encoding failed: ") + png.message);
    }
    core::Bytes bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, upright->pixels().data(), 0,
                                   nullptr)) {
        return ImageDecoder::error(ImageError::EncodeFailed,
                                   std::string("PNG encoding failed: ") + png.message);
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace ui
