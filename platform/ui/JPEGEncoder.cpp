#include "platform/ui/JPEGEncoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <new>
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

// libjpeg writes straight into the bytes handed back, instead of into a buffer of its own
// that starts at 4 KB, doubles by copying (each new block fresh pages from the kernel) and is
// then copied once more. The first block is sized from the picture and the quality, so most
// pictures need no regrowth. A block that cannot be had is reported after the encode rather
// than thrown through libjpeg: the rest of the output goes to a scratch block.
struct BytesDestination {
    jpeg_destination_mgr manager{};  // first, so that cinfo->dest is this object
    core::Bytes* bytes = nullptr;
    std::size_t firstBlock = 0;
    bool outOfMemory = false;
    std::array<JOCTET, 4096> scratch{};

    static BytesDestination& of(j_compress_ptr cinfo) {
        return *reinterpret_cast<BytesDestination*>(cinfo->dest);
    }

    void growTo(std::size_t used) {
        if (!outOfMemory) {
            try {
                bytes->resize(std::max(firstBlock, 2 * used));
                manager.next_output_byte = bytes->data() + used;
                manager.free_in_buffer = bytes->size() - used;
                return;
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
        }
        manager.next_output_byte = scratch.data();
        manager.free_in_buffer = scratch.size();
    }

    // cinfo->dest is set after jpeg_create_compress, which clears it.
    void attach(core::Bytes& out, std::size_t expected) {
        bytes = &out;
        firstBlock = std::max<std::size_t>(expected, scratch.size());
        manager.init_destination = [](j_compress_ptr c) { of(c).growTo(0); };
        manager.empty_output_buffer = [](j_compress_ptr c) -> boolean {
            auto& self = of(c);
            self.growTo(self.outOfMemory ? 0 : self.bytes->size());
            return TRUE;
        };
        manager.term_destination = [](j_compress_ptr c) {
            auto& self = of(c);
            if (!self.outOfMemory) {
                self.bytes->resize(self.bytes->size() - self.manager.free_in_buffer);
            }
        };
    }
};

// A first guess at the encoded size, generous enough that a photo rarely regrows: about a
// byte per pixel near the top qualities, falling quickly below them.
std::size_t expectedSize(const Bitmap& bitmap, int quality) {
    const auto pixels =
        static_cast<std::size_t>(bitmap.width()) * static_cast<std::size_t>(bitmap.height());
    if (quality >= 95) {
        return pixels;
    }
    return quality >= 80 ? pixels / 3 : pixels / 6;
}

struct EncodeState {
    BytesDestination destination;
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
    cinfo->dest = &state->destination.manager;
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
    quality = std::clamp(quality, 0, 100);
    core::Bytes bytes;
    EncodeState state;
    state.rgbRow.resize(static_cast<std::size_t>(bitmap.width()) * 3);
    state.destination.attach(bytes, expectedSize(bitmap, quality));
    const bool ok = compress(&cinfo, &errors, &bitmap, quality, &state);
    if (!ok) {
        return ImageDecoder::error(ImageError::EncodeFailed,
                                   std::string("JPEG encoding failed: ") + errors.message);
    }
    if (state.destination.outOfMemory) {
        return ImageDecoder::error(ImageError::EncodeFailed,
                                   "JPEG encoding failed: out of memory for the encoded bytes");
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
