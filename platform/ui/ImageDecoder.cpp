#include "platform/ui/ImageDecoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include "platform/ui/Resampler.h"

namespace ui {
namespace {

bool startsWith(const core::Bytes& data, std::initializer_list<std::uint8_t> magic) {
    return data.size() >= magic.size() && std::equal(magic.begin(), magic.end(), data.begin());
}

BitmapPtr makeBitmap(int width, int height, PixelFormat format, std::vector<std::uint8_t> pixels) {
    return std::make_shared<Bitmap>(width, height, format, std::move(pixels));
}

core::Expected<BitmapPtr> decodePNG(const core::Bytes& data) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
        return ImageDecoder::error(ImageError::Corrupt,
                                   std::string("The PNG data is damaged: ") + image.message);
    }
    if (!ImageDecoder::withinLimits(image.width, image.height)) {
        png_image_free(&image);
        return ImageDecoder::error(ImageError::TooLarge, "The PNG picture is too large");
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return ImageDecoder::error(ImageError::Corrupt,
                                   std::string("The PNG data is damaged: ") + image.message);
    }
    return makeBitmap(static_cast<int>(image.width), static_cast<int>(image.height),
                      alpha ? PixelFormat::RGBA8 : PixelFormat::RGB8, std::move(pixels));
}

// ---- GIF: the first frame, composed onto a transparent canvas of the logical screen size.

struct MemoryReader {
    const core::Bytes* data;
    std::size_t position = 0;
};

int readGif(GifFileType* gif, GifByteType* buffer, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    std::size_t left = reader->data->size() - reader->position;
    std::size_t count = std::min(left, static_cast<std::size_t>(std::max(length, 0)));
    std::memcpy(buffer, reader->data->data() + reader->position, count);
    reader->position += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

core::Error gifError(int code) {
    const char* text = GifErrorString(code);
    return ImageDecoder::error(
        ImageError::Corrupt, std::string("The GIF data is damaged: ") + (text ? text : "unknown"));
}

// Reads extension blocks, remembering the transparent index of a graphic control block.
bool skipExtension(GifFileType* gif, int* transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        return false;
    }
    while (block != nullptr) {
        if (code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4 && (block[1] & 1) != 0) {
            *transparent = block[4];
        }
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
            return false;
        }
    }
    return true;
}

void paintGifRow(const GifFileType* gif, const ColorMapObject* colors, const GifByteType* indices,
                 int row, int transparent, Bitmap* canvas) {
    const GifImageDesc& desc = gif->Image;
    int y = desc.Top + row;
    if (y < 0 || y >= canvas->height()) {
        return;
    }
    for (int i = 0; i < desc.Width; ++i) {
        int x = desc.Left + i;
        int index = indices[i];
        if (x >= canvas->width() || index == transparent || index >= colors->ColorCount) {
            continue;
        }
        std::uint8_t* p = canvas->row(y) + static_cast<std::size_t>(x) * 4;
        const GifColorType& c = colors->Colors[index];
        p[0] = c.Red;
        p[1] = c.Green;
        p[2] = c.Blue;
        p[3] = 255;
    }
}

bool readGifFrame(GifFileType* gif, int transparent, Bitmap* canvas, core::Error* error) {
    if (DGifGetImageDesc(gif) == GIF_ERROR) {
        *error = gifError(gif->Error);
        return false;
    }
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* colors = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (colors == nullptr || desc.Width <= 0 || desc.Height <= 0 ||
        !ImageDecoder::withinLimits(desc.Width, desc.Height)) {
        *error = ImageDecoder::error(ImageError::Corrupt, "The GIF frame is malformed");
        return false;
    }
    std::vector<GifByteType> line(static_cast<std::size_t>(desc.Width));
    static constexpr int kOffsets[] = {0, 4, 2, 1};
    static constexpr int kSteps[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int start = desc.Interlace ? kOffsets[pass] : 0;
        int step = desc.Interlace ? kSteps[pass] : 1;
        for (int row = start; row < desc.Height; row += step) {
            if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
                *error = gifError(gif->Error);
                return false;
            }
            paintGifRow(gif, colors, line.data(), row, transparent, canvas);
        }
    }
    return true;
}

core::Expected<BitmapPtr> decodeGIF(const core::Bytes& data) {
    MemoryReader reader{&data};
    int openError = 0;
    GifHandle gif(DGifOpen(&reader, readGif, &openError));
    if (!gif) {
        return gifError(openError);
    }
    if (gif->SWidth <= 0 || gif->SHeight <= 0) {
        return ImageDecoder::error(ImageError::Corrupt, "The GIF picture has no size");
    }
    if (!ImageDecoder::withinLimits(gif->SWidth, gif->SHeight)) {
        return ImageDecoder::error(ImageError::TooLarge, "The GIF picture is too large");
    }
    auto canvas = std::make_shared<Bitmap>(gif->SWidth, gif->SHeight, PixelFormat::RGBA8);
    int transparent = -1;
    core::Error error = ImageDecoder::error(ImageError::Corrupt, "The GIF data holds no picture");
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            return gifError(gif->Error);
        }
        if (type == EXTENSION_RECORD_TYPE && skipExtension(gif.get(), &transparent)) {
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE &&
            readGifFrame(gif.get(), transparent, canvas.get(), &error)) {
            return BitmapPtr(std::move(canvas));
        }
        return type == EXTENSION_RECORD_TYPE ? gifError(gif->Error) : error;
    }
}

// ---- TIFF through libtiff's RGBA reader, from memory.

struct MemoryFile {
    const core::Bytes* data;
    toff_t position = 0;
};

tmsize_t tiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    toff_t left = file->data->size() > file->position ? file->data->size() - file->position : 0;
    toff_t count = std::min<toff_t>(left, static_cast<toff_t>(std::max<tmsize_t>(size, 0)));
    std::memcpy(buffer, file->data->data() + file->position, count);
    file->position += count;
    return static_cast<tmsize_t>(count);
}
tmsize_t tiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    toff_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->data->size() : 0;
    file->position = base + offset;
    return file->position;
}
int tiffClose(thandle_t) {
    return 0;
}
toff_t tiffSize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->data->size();
}
int tiffMap(thandle_t, void**, toff_t*) {
    return 0;
}
void tiffUnmap(thandle_t, void*, toff_t) {}

void silenceTiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// libtiff hands out premultiplied RGBA packed in 32 bits.
BitmapPtr bitmapFromRaster(const std::vector<std::uint32_t>& raster, int width, int height) {
    const bool alpha = std::any_of(raster.begin(), raster.end(),
                                   [](std::uint32_t p) { return TIFFGetA(p) != 255; });
    auto bitmap =
        std::make_shared<Bitmap>(width, height, alpha ? PixelFormat::RGBA8 : PixelFormat::RGB8);
    std::uint8_t* out = bitmap->pixels().data();
    for (std::uint32_t p : raster) {
        unsigned a = TIFFGetA(p);
        auto straight = [a](unsigned c) {
            return static_cast<std::uint8_t>(a == 0 ? 0 : std::min(255u, (c * 255 + a / 2) / a));
        };
        *out++ = alpha ? straight(TIFFGetR(p)) : TIFFGetR(p);
        *out++ = alpha ? straight(TIFFGetG(p)) : TIFFGetG(p);
        *out++ = alpha ? straight(TIFFGetB(p)) : TIFFGetB(p);
        if (alpha) {
            *out++ = static_cast<std::uint8_t>(a);
        }
    }
    return bitmap;
}

core::Expected<BitmapPtr> decodeTIFF(const core::Bytes& data) {
    silenceTiff();
    MemoryFile file{&data};
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(
        TIFFClientOpen("memory", "rm", &file, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize,
                       tiffMap, tiffUnmap),
        TIFFClose);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!tiff || !TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0) {
        return ImageDecoder::error(ImageError::Corrupt, "The TIFF data is damaged");
    }
    if (!ImageDecoder::withinLimits(width, height)) {
        return ImageDecoder::error(ImageError::TooLarge, "The TIFF picture is too large");
    }
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), message)) {
        return ImageDecoder::error(ImageError::Unsupported,
                                   std::string("Unsupported TIFF: ") + message);
    }
    // libtiff's RGBA reader only flips; it has no quarter turns, and reads the transposed
    // orientations (5 to 8) as if they were 1 to 4. So the raster is asked for in stored
    // order (requested orientation = the file's) and turned upright here.
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT) {
        orientation = ORIENTATION_TOPLEFT;
    }
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, raster.data(), orientation, 0)) {
        return ImageDecoder::error(ImageError::Corrupt, "The TIFF data is damaged");
    }
    BitmapPtr stored = bitmapFromRaster(raster, static_cast<int>(width), static_cast<int>(height));
    return Resampler::upright(stored, ImageDecoder::orientationFromTag(orientation));
}

// ---- BMP and ICO through gdk-pixbuf's loaders.

std::int32_t readLE32(const core::Bytes& data, std::size_t at) {
    return static_cast<std::int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                     static_cast<std::uint32_t>(data[at + 3]) << 24);
}

// Checked before the loader allocates anything for the picture.
bool bmpWithinLimits(const core::Bytes& data) {
    if (data.size() < 26) {
        return true;  // the loader rejects it as truncated
    }
    if (readLE32(data, 14) == 12) {
        return true;  // the old header has 16-bit sizes
    }
    long long width = readLE32(data, 18);
    long long height = readLE32(data, 22);
    return ImageDecoder::withinLimits(width < 0 ? -width : width, height < 0 ? -height : height);
}

void onSizePrepared(GdkPixbufLoader*, int width, int height, gpointer tooLarge) {
    if (!ImageDecoder::withinLimits(width, height)) {
        *static_cast<bool*>(tooLarge) = true;
    }
}

BitmapPtr bitmapFromPixbuf(GdkPixbuf* pixbuf) {
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const PixelFormat format = channels == 4 ? PixelFormat::RGBA8 : PixelFormat::RGB8;
    auto bitmap = std::make_shared<Bitmap>(width, height, format);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < height; ++y) {
        std::memcpy(bitmap->row(y), pixels + static_cast<std::size_t>(stride) * y,
                    bitmap->rowBytes());
    }
    return bitmap;
}

// The loader allocates as much as the info header claims to be long, and as far as the pixels
// are said to start, before reading either; so an unknown header length and pixels past the
// end of the file (up to 4 GiB away) are refused first.
bool bmpHeaderKnown(const core::Bytes& data) {
    if (data.size() < 18) {
        return true;  // the loader rejects it as truncated
    }
    const auto pixelOffset = static_cast<std::uint32_t>(readLE32(data, 10));
    // A palette has at most 256 colours; the loader allocates as many as the header counts.
    const auto colours = data.size() >= 50 && readLE32(data, 14) >= 40
                             ? static_cast<std::uint32_t>(readLE32(data, 46))
                             : 0;
    static constexpr std::int32_t kInfoHeaderSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    return pixelOffset <= data.size() && colours <= 256 &&
           std::ranges::find(kInfoHeaderSizes, readLE32(data, 14)) != std::end(kInfoHeaderSizes);
}

// The icon loader buffers up to the farthest picture its directory points at before it reads
// any, so a few hundred bytes pointing 4 GiB away would cost that much memory: every entry
// must lie within the data.
bool icoDirectoryWithinData(const core::Bytes& data) {
    if (data.size() < 6) {
        return true;  // the loader rejects it as truncated
    }
    const std::size_t count = data[4] | data[5] << 8;
    if (count == 0 || 6 + 16 * count > data.size()) {
        return false;
    }
    for (std::size_t entry = 6; entry < 6 + 16 * count; entry += 16) {
        const std::uint64_t length = static_cast<std::uint32_t>(readLE32(data, entry + 8));
        const std::uint64_t offset = static_cast<std::uint32_t>(readLE32(data, entry + 12));
        if (offset + length > data.size()) {
            return false;
        }
    }
    return true;
}

core::Expected<BitmapPtr> decodeWithPixbuf(const core::Bytes& data, const char* type) {
    if (std::strcmp(type, "ico") == 0 && !icoDirectoryWithinData(data)) {
        return ImageDecoder::error(ImageError::Corrupt, "The icon directory is damaged");
    }
    if (std::strcmp(type, "bmp") == 0 && !bmpHeaderKnown(data)) {
        return ImageDecoder::error(ImageError::Corrupt, "The BMP header is damaged");
    }
    if (std::strcmp(type, "bmp") == 0 && !bmpWithinLimits(data)) {
        return ImageDecoder::error(ImageError::TooLarge, "The BMP picture is too large");
    }
    GError* error = nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, &error);
    if (loader == nullptr) {
        std::string message = error ? error->message : type;
        g_clear_error(&error);
        return ImageDecoder::error(ImageError::Unsupported, "No decoder for " + message);
    }
    bool tooLarge = false;
    g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &tooLarge);
    bool ok = gdk_pixbuf_loader_write(loader, data.data(), data.size(), &error) && !tooLarge;
    ok = gdk_pixbuf_loader_close(loader, ok ? &error : nullptr) && ok;
    GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    core::Expected<BitmapPtr> result =
        ImageDecoder::error(tooLarge ? ImageError::TooLarge : ImageError::Corrupt,
                            std::string("The ") + type + " data is damaged" +
                                (error ? std::string(": ") + error->message : ""));
    if (pixbuf != nullptr && gdk_pixbuf_get_bits_per_sample(pixbuf) == 8) {
        result = bitmapFromPixbuf(pixbuf);
    }
    g_clear_error(&error);
    g_object_unref(loader);
    return result;
}

}  // namespace

ImageFormat ImageDecoder::sniff(const core::Bytes& data) {
    if (startsWith(data, {0xFF, 0xD8, 0xFF}))
        return ImageFormat::JPEG;
    if (startsWith(data, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return ImageFormat::PNG;
    if (startsWith(data, {'G', 'I', 'F', '8'}))
        return ImageFormat::GIF;
    if (startsWith(data, {'B', 'M'}))
        return ImageFormat::BMP;
    if (startsWith(data, {'I', 'I', 42, 0}) || startsWith(data, {'M', 'M', 0, 42}))
        return ImageFormat::TIFF;
    // Icons (type 1) and cursors (type 2) share one container.
    if (startsWith(data, {0, 0, 1, 0}) || startsWith(data, {0, 0, 2, 0}))
        return ImageFormat::ICO;
    return ImageFormat::Unknown;
}

core::Expected<BitmapPtr> ImageDecoder::decode(const core::Bytes& data, ImageFormat format) {
    switch (format) {
        case ImageFormat::PNG:
            return decodePNG(data);
        case ImageFormat::GIF:
            return decodeGIF(data);
        case ImageFormat::TIFF:
            return decodeTIFF(data);
        case ImageFormat::BMP:
            return decodeWithPixbuf(data, "bmp");
        case ImageFormat::ICO:
            return decodeWithPixbuf(data, "ico");
        default:
            return error(ImageError::UnknownFormat, "The data is not a picture in a known format");
    }
}

core::Error ImageDecoder::error(ImageError code, const std::string& message) {
    return core::Error(std::string(ImageErrorDomain), static_cast<std::int64_t>(code),
                       {{std::string(core::LocalizedDescriptionKey), core::Value(message)}});
}

bool ImageDecoder::withinLimits(long long width, long long height) {
    return width > 0 && height > 0 && width <= 65535 && height <= 65535 &&
           width * height <= kMaxPixels;
}

ImageOrientation ImageDecoder::orientationFromTag(int value) {
    switch (value) {
        case 2:
            return ImageOrientation::UpMirrored;
        case 3:
            return ImageOrientation::Down;
        case 4:
            return ImageOrientation::DownMirrored;
        case 5:
            return ImageOrientation::LeftMirrored;
        case 6:
            return ImageOrientation::Right;
        case 7:
            return ImageOrientation::RightMirrored;
        case 8:
            return ImageOrientation::Left;
        default:
            return ImageOrientation::Up;
    }
}

}  // namespace ui
