#include "platform/ui/JPEGDecoder.h"

#include <csetjmp>
#include <cstring>
#include <string>

#include <libexif/exif-data.h>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGErrorManager.h"

namespace ui {
namespace {

ImageOrientation exifOrientation(const jpeg_decompress_struct& cinfo) {
    static constexpr unsigned char kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < sizeof kExifHeader ||
            std::memcmp(m->data, kExifHeader, sizeof kExifHeader) != 0) {
            continue;
        }
        ExifData* exif = exif_data_new_from_data(m->data, m->data_length);
        if (exif == nullptr) {
            return ImageOrientation::Up;
        }
        int value = 1;
        ExifEntry* entry = exif_data_get_entry(exif, EXIF_TAG_ORIENTATION);
        if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
            entry->size >= 2) {
            value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        }
        exif_data_unref(exif);
        return ImageDecoder::orientationFromTag(value);
    }
    return ImageOrientation::Up;
}

enum class Outcome { Decoded, Failed, TooLarge, Unsupported };

// Everything between setjmp and a possible longjmp lives outside this frame, so no object
// with a destructor is skipped by the jump.
Outcome readHeaderInto(jpeg_decompress_struct* cinfo, JPEGErrorManager* errors,
                       const core::Bytes* data, JPEGInfo* info) {
    if (setjmp(errors->jump)) {
        jpeg_destroy_decompress(cinfo);
        return Outcome::Failed;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data->data(), data->size());
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    info->width = static_cast<int>(cinfo->image_width);
    info->height = static_cast<int>(cinfo->image_height);
    info->orientation = exifOrientation(*cinfo);
    jpeg_destroy_decompress(cinfo);
    return ImageDecoder::withinLimits(info->width, info->height) ? Outcome::Decoded
                                                                 : Outcome::TooLarge;
}

bool isCMYK(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

void cmykToRGB(const JSAMPLE* in, std::uint8_t* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        int c = inverted ? in[0] : 255 - in[0];
        int m = inverted ? in[1] : 255 - in[1];
        int y = inverted ? in[2] : 255 - in[2];
        int k = inverted ? in[3] : 255 - in[3];
        out[0] = static_cast<std::uint8_t>(c * k / 255);
        out[1] = static_cast<std::uint8_t>(m * k / 255);
        out[2] = static_cast<std::uint8_t>(y * k / 255);
    }
}

struct DecodeTarget {
    std::vector<std::uint8_t> pixels;
    std::vector<JSAMPLE> cmykRow;
    int width = 0;
    int height = 0;
};

void readScanlines(jpeg_decompress_struct* cinfo, DecodeTarget* target) {
    const std::size_t rowBytes = static_cast<std::size_t>(target->width) * 3;
    const bool cmyk = isCMYK(cinfo->jpeg_color_space);
    while (cinfo->output_scanline < cinfo->output_height) {
        std::uint8_t* row = target->pixels.data() + rowBytes * cinfo->output_scanline;
        JSAMPROW samples = cmyk ? target->cmykRow.data() : row;
        if (jpeg_read_scanlines(cinfo, &samples, 1) != 1) {
            break;
        }
        if (cmyk) {
            // Adobe writes CMYK inverted; that is what nearly every CMYK JPEG is.
            cmykToRGB(samples, row, target->width, cinfo->saw_Adobe_marker);
        }
    }
}

Outcome decodeInto(jpeg_decompress_struct* cinfo, JPEGErrorManager* errors, const core::Bytes* data,
                   int scaleEighths, DecodeTarget* target) {
    if (setjmp(errors->jump)) {
        jpeg_destroy_decompress(cinfo);
        return Outcome::Failed;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data->data(), data->size());
    jpeg_read_header(cinfo, TRUE);
    if (!ImageDecoder::withinLimits(cinfo->image_width, cinfo->image_height)) {
        jpeg_destroy_decompress(cinfo);
        return Outcome::TooLarge;
    }
    if (cinfo->num_components != 1 && cinfo->num_components != 3 &&
        !isCMYK(cinfo->jpeg_color_space)) {
        jpeg_destroy_decompress(cinfo);
        return Outcome::Unsupported;
    }
    cinfo->out_color_space = isCMYK(cinfo->jpeg_color_space) ? JCS_CMYK : JCS_RGB;
    cinfo->scale_num = static_cast<unsigned>(scaleEighths);
    cinfo->scale_denom = 8;
    jpeg_start_decompress(cinfo);
    target->width = static_cast<int>(cinfo->output_width);
    target->height = static_cast<int>(cinfo->output_height);
    target->pixels.assign(static_cast<std::size_t>(target->width) * target->height * 3, 0);
    target->cmykRow.resize(static_cast<std::size_t>(target->width) * 4);
    readScanlines(cinfo, target);
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return Outcome::Decoded;
}

core::Error failure(Outcome outcome, const JPEGErrorManager& errors) {
    switch (outcome) {
        case Outcome::TooLarge:
            return ImageDecoder::error(ImageError::TooLarge, "The JPEG picture is too large");
        case Outcome::Unsupported:
            return ImageDecoder::error(ImageError::Unsupported,
                                       "The JPEG picture has an unsupported color layout");
        default:
            return ImageDecoder::error(ImageError::Corrupt,
                                       std::string("The JPEG data is damaged: ") + errors.message);
    }
}

}  // namespace

core::Expected<JPEGInfo> JPEGDecoder::readHeader(const core::Bytes& data) {
    jpeg_decompress_struct cinfo{};
    JPEGErrorManager errors{};
    cinfo.err = errors.attach();
    JPEGInfo info;
    Outcome outcome = readHeaderInto(&cinfo, &errors, &data, &info);
    if (outcome != Outcome::Decoded) {
        return failure(outcome, errors);
    }
    return info;
}

core::Expected<BitmapPtr> JPEGDecoder::decode(const core::Bytes& data, int scaleEighths) {
    if (scaleEighths < 1 || scaleEighths > 8) {
        scaleEighths = 8;
    }
    jpeg_decompress_struct cinfo{};
    JPEGErrorManager errors{};
    cinfo.err = errors.attach();
    DecodeTarget target;
    Outcome outcome = decodeInto(&cinfo, &errors, &data, scaleEighths, &target);
    if (outcome != Outcome::Decoded) {
        return failure(outcome, errors);
    }
    return BitmapPtr(std::make_shared<Bitmap>(target.width, target.height, PixelFormat::RGB8,
                                              std::move(target.pixels)));
}

int JPEGDecoder::scaleCovering(int width, int height, int minWidth, int minHeight) {
    for (int n = 1; n < 8; ++n) {
        long long w = (static_cast<long long>(width) * n + 7) / 8;
        long long h = (static_cast<long long>(height) * n + 7) / 8;
        if (w >= minWidth && h >= minHeight) {
            return n;
        }
    }
    return 8;
}

}  // namespace ui
