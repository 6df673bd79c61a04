// Picture bytes from the stock store and the album are untrusted: every format the decoder
// sniffs either decodes within the size limits or fails with an error.
#include "fuzz/FuzzCheck.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const core::Bytes bytes(data, data + size);
    const ui::ImageFormat format = ui::ImageDecoder::sniff(bytes);
    if (format == ui::ImageFormat::JPEG) {
        if (const auto info = ui::JPEGDecoder::readHeader(bytes)) {
            const auto picture = ui::JPEGDecoder::decode(bytes, 1 + static_cast<int>(size % 8));
            (void)picture;
        }
        return 0;
    }
    if (format == ui::ImageFormat::Unknown) {
        return 0;
    }
    const auto picture = ui::ImageDecoder::decode(bytes, format);
    if (picture) {
        const auto& bitmap = picture.value();
        fuzz::check(bitmap != nullptr, "a decoded picture has pixels");
        fuzz::check(ui::ImageDecoder::withinLimits(bitmap->width(), bitmap->height()),
                    "a decoded picture is within the limits");
    }
    return 0;
}
