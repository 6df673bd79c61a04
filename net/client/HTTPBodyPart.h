#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "net/client/QueryString.h"
#include "platform/core/Bytes.h"
#include "platform/core/Error.h"
#include "platform/core/InputStream.h"
#include "platform/core/Object.h"

namespace net {

// The boundary that frames every multipart body this layer sends.
inline constexpr std::string_view MultipartBoundaryString = "Boundary+0xAbCdEfGbOuNdArY";

// Where a part is in its reading; the values are part of the wire contract of the body stream.
enum class PartPhase : std::int32_t {
    Created = 0,
    Boundary = 1,  // the delimiter that opens the part
    Headers = 2,   // the header block
    Body = 3,      // the bytes of the source stream
    Closing = 4,   // the closing delimiter (last part only; empty text otherwise)
};

// One part of a multipart body: its headers, its source and how far it has been read.
// A part is read by one thread at a time, but every phase change once it exists runs on the
// main thread: a reader on another thread hands the step to the main run loop and waits for
// it, so the main thread must keep running its loop and must never wait for a thread that
// reads a body. (The step that creates a part runs in place: nobody else holds it yet.)
class HTTPBodyPart : public core::Object {
public:
    using Headers = std::map<std::string, std::string>;  // yields its keys in a stable order

    // A part in PartPhase::Boundary, with no headers and an empty body.
    static std::shared_ptr<HTTPBodyPart> create(StringEncodingId encoding = kUTF8StringEncoding);
    ~HTTPBodyPart() override;

    StringEncodingId stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(StringEncodingId encoding) { stringEncoding_ = encoding; }
    const Headers& headers() const { return headers_; }
    void setHeaders(Headers headers) { headers_ = std::move(headers); }
    std::uint64_t bodyContentLength() const { return bodyContentLength_; }
    void setBodyContentLength(std::uint64_t length) { bodyContentLength_ = length; }
    const std::shared_ptr<core::InputStream>& inputStream() const { return inputStream_; }
    void setInputStream(std::shared_ptr<core::InputStream> stream);
    bool hasInitialBoundary() const { return hasInitialBoundary_; }
    void setHasInitialBoundary(bool value) { hasInitialBoundary_ = value; }
    bool hasFinalBoundary() const { return hasFinalBoundary_; }
    void setHasFinalBoundary(bool value) { hasFinalBoundary_ = value; }

    // Why `headers` cannot be written as a header block: a line break in a name or a value
    // (it would add lines of its own), an empty name or one holding a colon. Nothing when
    // they can.
    static std::optional<std::string> headerFault(const Headers& headers);

    PartPhase phase() const { return phase_; }
    // Header lines "name: value" CRLF in the map's order, then one more CRLF.
    std::string stringForHeaders() const;
    // Delimiter, header block, declared body length and, for the last part, the closing
    // delimiter, all in the part's string encoding.
    std::uint64_t contentLength() const;
    // Until the part has been read to its end or has failed.
    bool hasBytesAvailable() const;

    // Copies up to maxLength bytes of the part, crossing as many phases as the capacity
    // allows. -1 when the part failed: a source that reports an error, ends before its
    // declared length or runs past it, a header whose name or value would break the header
    // block, or text the string encoding cannot write; error() tells why.
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength);
    const std::optional<core::Error>& error() const { return error_; }

    std::string description() const override;

private:
    friend class MultipartBodyStream;  // merges the main-thread steps of neighbouring parts

    explicit HTTPBodyPart(StringEncodingId encoding);

    enum class BodyState { More, Complete, Failed };

    // Whether the next step is a phase change (main thread) rather than body bytes.
    bool needsMainThread() const;
    // Main thread: closes a finished body, then writes the texts and phase changes that
    // follow, up to body bytes still to be read or the end of the part.
    std::size_t advanceOnMainThread(std::uint8_t* buffer, std::size_t maxLength);
    // Whether the rest of the body is short enough to be read during a visit.
    bool fitsInVisit(std::size_t capacity) const;
    // Any thread: body bytes only; marks the body finished when all of it has been read.
    std::size_t readBodyBytes(std::uint8_t* buffer, std::size_t maxLength);
    std::size_t deliverTexts(std::uint8_t* buffer, std::size_t maxLength);
    std::size_t readBody(std::uint8_t* buffer, std::size_t maxLength, BodyState& state);
    BodyState checkBodyEnd();
    std::string shortSourceReason() const;
    std::optional<core::Bytes> phaseText() const;
    std::optional<core::Bytes> encoded(const std::string& text) const;
    bool onMainThread(const std::function<void()>& steps);
    void performPhaseStep();
    std::ptrdiff_t fail(std::string reason, const std::optional<core::Error>& underlying = {});

    PartPhase phase_ = PartPhase::Created;
    std::uint64_t phaseReadOffset_ = 0;
    std::optional<core::Bytes> phaseText_;  // rendered once per phase
    bool hasInitialBoundary_ = false;
    bool hasFinalBoundary_ = false;
    StringEncodingId stringEncoding_;
    Headers headers_;
    std::uint64_t bodyContentLength_ = 0;
    std::uint64_t bodyBytesRead_ = 0;
    bool bodyFinished_ = false;
    std::shared_ptr<core::InputStream> inputStream_;
    bool completed_ = false;
    std::optional<core::Error> error_;
};

}  // namespace net
