// Picture bytes from the stock store and the album are untrusted: every format the decoder
// sniffs either decodes within the size limits or fails with an error, and a JPEG decoded at
// n/8 of its size has exactly the scaled size its header announces.
#include "fuzz/FuzzCheck.h"
#include "platform/ui/ImageDecoder.h"
#include "platform/ui/JPEGDecoder.h"

namespace {

void checkPicture(const ui::BitmapPtr& bitmap) {
    fuzz::check(bitmap != nullptr, "a decoded picture has pixels");
    fuzz::check(bitmap->width() > 0 && bitmap->height() > 0, "a decoded picture is not empty");
    fuzz::check(ui::ImageDecoder::withinLimits(bitmap->width(), bitmap->height()),
                "a decoded picture is within the limits");
}

void checkJPEG(const core::Bytes& bytes, int eighths) {
    const auto info = ui::JPEGDecoder::readHeader(bytes);
    if (!info) {
        return;
    }
    const auto picture = ui::JPEGDecoder::decode(bytes, eighths);
    if (!picture) {
        return;
    }
    checkPicture(picture.value());
    // libjpeg rounds a scaled dimension up.
    const auto scaled = [eighths](int size) { return (size * eighths + 7) / 8; };
    fuzz::check(picture.value()->width() == scaled(info.value().width) &&
                    picture.value()->height() == scaled(info.value().height),
                "a JPEG decodes to the size its header announces");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const core::Bytes bytes(data, data + size);
    const ui::ImageFormat format = ui::ImageDecoder::sniff(bytes);
    if (format == ui::ImageFormat::JPEG) {
        checkJPEG(bytes, 1 + static_cast<int>(size % 8));
        return 0;
    }
    if (format == ui::ImageFormat::Unknown) {
        return 0;
    }
    if (const auto picture = ui::ImageDecoder::decode(bytes, format)) {
        checkPicture(picture.value());
    }
    return 0;
}
