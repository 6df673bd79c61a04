#include "platform/ui/JPEGEncoder.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <vector>

#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGErrorManager.h"
#include "platform/ui/Resampler.h"

namespace ui {
namespace {

void flattenRow(const std::uint8_t* in, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        for (int c = 0; c < 3; ++c) {
            out[c] = static_cast<std::uint8_t>((in[c] * in[3] + 127) / 255);
        }
    }
}

struct EncodeState {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> rgbRow;
};

void writeRows(jpeg_compress_struct* cinfo, const Bitmap& bitmap, EncodeState* state) {
    const bool alpha = bitmap.format() == PixelFormat::RGBA8;
    while (cinfo->next_scanline < cinfo->image_height) {
        const int y = static_cast<int>(cinfo->next_scanline);
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.row(y));
        if (alpha) {
            flattenRow(bitmap.row(y), state->rgbRow.data(), bitmap.width());
            row = state->rgbRow.data();
        }
        jpeg_write_scanlines(cinfo, &row, 1);
    }
}

// No object with a destructor lives in this frame, so the longjmp skips none.
bool compress(jpeg_compress_struct* cinfo, JPEGErrorManager* errors, const Bitmap* bitmap,
              int quality, EncodeState* state) {
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(cinfo);
        return false;
    }
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, &state->buffer, &state->size);
    cinfo->image_width = static_cast<JDIMENSION>(bitmap->width());
    cinfo->image_height = static_cast<JDIMENSION>(bitmap->height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    writeRows(cinfo, *bitmap, state);
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return true;
}

}  // namespace

int JPEGEncoder::libjpegQuality(double quality) {
    if (std::isnan(quality)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
}

core::Expected<core::Bytes> JPEGEncoder::encode(const Bitmap& bitmap, int quality) {
    if (bitmap.width() < 1 || bitmap.height() < 1) {
        return ImageDecoder::error(ImageError::EncodeFailed, "An empty picture cannot be encoded");
    }
    jpeg_compress_struct cinfo{};
    JPEGErrorManager errors{};
    cinfo.err = errors.attach();
    EncodeState state;
    state.rgbRow.resize(static_cast<std::size_t>(bitmap.width()) * 3);
    const bool ok = compress(&cinfo, &errors, &bitmap, std::clamp(quality, 0, 100), &state);
    core::Bytes bytes;
    if (ok) {
        bytes.assign(state.buffer, state.buffer + state.size);
    }
    std::free(state.buffer);
    if (!ok) {
        return ImageDecoder::error(ImageError::EncodeFailed,
                                   std::string("JPEG encoding failed: ") + errors.message);
    }
    return bytes;
}

core::Expected<core::Bytes> JPEGRepresentation(const Image& image, double quality) {
    core::Expected<BitmapPtr> stored = image.bitmap();
    if (!stored) {
        return stored.error();
    }
    BitmapPtr upright = Resampler::upright(*stored, image.orientation());
    return JPEGEncoder::encode(*upright, JPEGEncoder::libjpegQuality(quality));
}

}  // namespace ui
