#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Bytes.h"
#include "platform/core/Stream.h"

namespace core {

enum class FileWriteMode { Truncate, Append };

// A sink of bytes written synchronously: to memory, or to a file.
class OutputStream : public Stream {
public:
    static std::shared_ptr<OutputStream> outputStreamToMemory();
    // The file is created if needed when the stream opens. Truncate empties it then; Append
    // starts writing at its end.
    static std::shared_ptr<OutputStream> outputStreamToFileAtPath(std::string path,
                                                                  FileWriteMode mode);

    // Writes all `length` bytes and returns length, or -1 when the stream is not open or the
    // write failed. A failure (a full disk, a file-size limit, a short write) moves the
    // stream to Error with streamError() saying why; it is never silent.
    virtual std::ptrdiff_t write(const std::uint8_t* buffer, std::size_t length) = 0;
    virtual bool hasSpaceAvailable() const = 0;
    // The most a memory stream reserves ahead, whatever length it is told to expect (less on
    // a machine with under 4 GiB of memory: a quarter of it).
    static constexpr std::uint64_t kLargestMemoryReservation = std::uint64_t{1} << 30;

    // A hint that about `length` more bytes are coming, such as an announced Content-Length:
    // a memory stream makes room for them at once instead of growing and copying as they
    // arrive, up to kLargestMemoryReservation; past that it grows as the bytes come. Memory
    // it cannot get is not an error here; other streams ignore the hint.
    virtual void reserveCapacity(std::uint64_t) {}

    // All bytes written so far to a memory stream; nullptr for other streams. The pointer
    // stays valid while the stream lives and nothing is written.
    virtual const Bytes* dataWrittenToMemory() const { return nullptr; }
    // A file stream's write position; none for memory streams, and none for a file stream
    // that is closed. Before open it is the position requested with setFileCurrentOffset.
    virtual std::optional<std::uint64_t> fileCurrentOffset() const { return std::nullopt; }
    // Moves a file stream's write position. Everything after the new position is discarded,
    // so rewinding to rewrite a body never leaves stale bytes of an older one behind. Before
    // open the position is applied when the stream opens. False for memory streams.
    virtual bool setFileCurrentOffset(std::uint64_t) { return false; }

    // StreamDataWrittenToMemoryStreamKey and StreamFileCurrentOffsetKey, mapped onto the
    // accessors above.
    std::optional<Value> property(std::string_view key) const override;
    bool setProperty(std::string_view key, const Value& value) override;

protected:
    OutputStream() = default;
};

}  // namespace core
