#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/Bytes.h"
#include "platform/core/Stream.h"

namespace core {

// A source of bytes read synchronously. Subclasses (a multipart body, its parts) override
// open, close, read and hasBytesAvailable and keep the status with setStreamStatus.
class InputStream : public Stream {
public:
    // A stream over a copy of `bytes`.
    static std::shared_ptr<InputStream> inputStreamWithData(Bytes bytes);
    // A stream over the file at `path`. Nothing touches the file until open(): a missing
    // file shows up then as status Error with streamError() naming the path. The stream
    // delivers the file as long as it was when opened.
    static std::shared_ptr<InputStream> inputStreamWithFileAtPath(std::string path);

    // Copies up to maxLength bytes into buffer and returns how many: 0 at the end (status
    // AtEnd), -1 on failure (status Error, streamError() set) or when the stream is not open.
    virtual std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) = 0;
    // Whether a read may deliver bytes: true while open and not at the end.
    virtual bool hasBytesAvailable() const = 0;

protected:
    InputStream() = default;
};

}  // namespace core
