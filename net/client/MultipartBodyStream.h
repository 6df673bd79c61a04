#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "net/client/HTTPBodyPart.h"
#include "platform/core/InputStream.h"

namespace net {

// The body of a multipart request, produced on demand part by part and never held in memory
// as a whole. Its reader opens it, pulls with read() until a read returns 0 and closes it; it
// delivers no events. The bytes always add up to contentLength(), however reads are sliced;
// a part that cannot deliver exactly what it announced makes read() return -1 with
// streamError() saying why.
//
// Threads: one reader at a time, usually the network thread. Every phase change of a part
// runs on the main thread: a reader on another thread posts the step to the main run loop
// and waits for it, and on the main thread the step runs at once. A read visits the
// main thread once per part boundary it crosses: the end of one part's body, the texts
// between, and the opening of the next part's source share one visit (a read whose capacity
// runs out among the texts needs another visit to go on), and a short body that fits the
// read is read during the visit that opens it. Larger bodies are read on the reader's own
// thread. Opened on another thread, an unthrottled stream posts its first visit at once
// without waiting, so the opening texts are ready by the time the connection asks for them;
// the first read waits for that visit if it has not run yet. The main thread must therefore
// keep running its loop while bodies are read, and must never wait for a thread that reads
// a body. Parts are appended before the stream is opened.
//
// The stream cannot be rewound: opening it again after close() does not replay parts already
// sent, so a body that must be sent again needs a new stream.
class MultipartBodyStream : public core::InputStream {
public:
    static constexpr std::uint64_t kNoPacketLimit = std::numeric_limits<std::int64_t>::max();

    static std::shared_ptr<MultipartBodyStream> create(
        StringEncodingId encoding = kUTF8StringEncoding);

    StringEncodingId stringEncoding() const { return stringEncoding_; }
    void appendHTTPBodyPart(std::shared_ptr<HTTPBodyPart> part);
    const std::vector<std::shared_ptr<HTTPBodyPart>>& HTTPBodyParts() const { return parts_; }
    bool isEmpty() const { return parts_.empty(); }
    // Marks the first part as opening the body and the last as closing it.
    void setInitialAndFinalBoundaries();
    std::uint64_t contentLength() const;
    // Makes every read fail with `error` (the first one given): a body missing a part its
    // caller asked for must not be sent as if it were whole.
    void refuse(core::Error error);

    // Throttling: after each part read the reader sleeps for `delay` seconds, and a read
    // stops taking further parts once it holds numberOfBytesInPacket bytes.
    std::uint64_t numberOfBytesInPacket() const { return numberOfBytesInPacket_; }
    void setNumberOfBytesInPacket(std::uint64_t size) { numberOfBytesInPacket_ = size; }
    double delay() const { return delay_; }
    void setDelay(double seconds) { delay_ = seconds; }

    void open() override;
    void close() override;
    // 0 before open(), after close() and at the end of the body.
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) override;
    // True exactly while open, also after the last byte: the end shows as a read of 0.
    bool hasBytesAvailable() const override;

    std::string description() const override;

private:
    explicit MultipartBodyStream(StringEncodingId encoding) : stringEncoding_(encoding) {}
    bool advanceToPartWithBytes();
    std::size_t advanceOnMainThread(std::uint8_t* buffer, std::size_t capacity, std::size_t taken,
                                    std::uint64_t limit);
    void pause() const;
    void startOpeningVisit();
    void awaitOpeningVisit();
    std::ptrdiff_t readAfterOpeningVisit(std::uint8_t* buffer, std::size_t maxLength);

    struct OpeningVisit;

    StringEncodingId stringEncoding_;
    std::vector<std::shared_ptr<HTTPBodyPart>> parts_;
    std::size_t nextPart_ = 0;
    std::shared_ptr<HTTPBodyPart> currentPart_;
    std::uint64_t numberOfBytesInPacket_ = kNoPacketLimit;
    double delay_ = 0;
    std::optional<core::Error> refusal_;
    std::shared_ptr<OpeningVisit> openingVisit_;  // reader's thread; settled before use
};

}  // namespace net
