#include "net/client/HTTPBodyPart.h"

#include <algorithm>
#include <cstring>

#include "net/NetworkingErrors.h"
#include "platform/core/RunLoop.h"
#include "platform/core/StringEncoding.h"

namespace net {

namespace {

constexpr std::string_view kCRLF = "\r\n";

std::string openingDelimiter() {
    return "--" + std::string(MultipartBoundaryString) + std::string(kCRLF);
}

std::string partDelimiter() {
    return std::string(kCRLF) + openingDelimiter();
}

std::string closingDelimiter() {
    return std::string(kCRLF) + "--" + std::string(MultipartBoundaryString) + "--" +
           std::string(kCRLF);
}

}  // namespace

std::shared_ptr<HTTPBodyPart> HTTPBodyPart::create(StringEncodingId encoding) {
    auto part = std::shared_ptr<HTTPBodyPart>(new HTTPBodyPart(encoding));
    // No other thread can hold a part yet, so its first phase change needs no hand-off: a
    // builder on another thread would otherwise wait for the main thread once per part.
    part->performPhaseStep();
    return part;
}

HTTPBodyPart::HTTPBodyPart(StringEncodingId encoding)
    : stringEncoding_(encoding), inputStream_(core::InputStream::inputStreamWithData({})) {}

HTTPBodyPart::~HTTPBodyPart() {
    if (inputStream_) {
        inputStream_->close();
    }
}

void HTTPBodyPart::setInputStream(std::shared_ptr<core::InputStream> stream) {
    inputStream_ = stream ? std::move(stream) : core::InputStream::inputStreamWithData({});
}

std::string HTTPBodyPart::stringForHeaders() const {
    std::string block;
    for (const auto& [name, value] : headers_) {
        block += name + ": " + value + std::string(kCRLF);
    }
    return block + std::string(kCRLF);
}

std::optional<core::Bytes> HTTPBodyPart::encoded(const std::string& text) const {
    return core::encodeString(text, static_cast<core::StringEncoding>(stringEncoding_));
}

std::uint64_t HTTPBodyPart::contentLength() const {
    auto length = [this](const std::string& text) -> std::uint64_t {
        auto bytes = encoded(text);
        return bytes ? bytes->size() : 0;
    };
    std::uint64_t total = length(hasInitialBoundary_ ? openingDelimiter() : partDelimiter());
    total += length(stringForHeaders());
    total += bodyContentLength_;
    if (hasFinalBoundary_) {
        total += length(closingDelimiter());
    }
    return total;
}

bool HTTPBodyPart::hasBytesAvailable() const {
    return !completed_ && !error_;
}

// The text phases and the phase changes between them run on the main thread in one visit, and
// the end of the body shares a visit with the texts after it; only body bytes are read here.
std::ptrdiff_t HTTPBodyPart::read(std::uint8_t* buffer, std::size_t maxLength) {
    std::size_t written = 0;
    auto advance = [&] { written += advanceOnMainThread(buffer + written, maxLength - written); };
    if (needsMainThread()) {
        onMainThread(advance);
    }
    if (!error_ && !completed_ && !needsMainThread()) {
        written += readBodyBytes(buffer + written, maxLength - written);
        if (needsMainThread()) {
            onMainThread(advance);
        }
    }
    return error_ ? -1 : static_cast<std::ptrdiff_t>(written);
}

bool HTTPBodyPart::needsMainThread() const {
    return !completed_ && !error_ && (phase_ != PartPhase::Body || bodyFinished_);
}

std::size_t HTTPBodyPart::advanceOnMainThread(std::uint8_t* buffer, std::size_t maxLength) {
    std::size_t written = 0;
    while (!completed_ && !error_) {
        if (phase_ == PartPhase::Body) {
            // An empty body is finished as soon as its source turns out to hold nothing, so
            // it costs no visit of its own.
            if (!bodyFinished_ && bodyBytesRead_ == bodyContentLength_) {
                bodyFinished_ = checkBodyEnd() == BodyState::Complete;
            }
            // A short body that fits whole is read during the visit, so its end costs no
            // visit of its own either: a text field then takes one visit, not two.
            if (!bodyFinished_ && fitsInVisit(maxLength - written)) {
                written += readBodyBytes(buffer + written, maxLength - written);
            }
            if (!bodyFinished_) {
                break;
            }
            performPhaseStep();
        }
        written += deliverTexts(buffer + written, maxLength - written);
        if (phase_ != PartPhase::Body) {
            break;  // out of capacity, failed or completed
        }
    }
    return written;
}

// Only short bodies: reading a large one here would hold up the main thread, and its bytes
// would cross no boundary anyway.
bool HTTPBodyPart::fitsInVisit(std::size_t capacity) const {
    constexpr std::uint64_t kLargestBodyReadInVisit = 16 * 1024;
    const std::uint64_t left = bodyContentLength_ - bodyBytesRead_;
    return !error_ && left > 0 && left <= capacity && left <= kLargestBodyReadInVisit;
}

std::size_t HTTPBodyPart::readBodyBytes(std::uint8_t* buffer, std::size_t maxLength) {
    BodyState state = BodyState::More;
    std::size_t count = readBody(buffer, maxLength, state);
    bodyFinished_ = state == BodyState::Complete;
    return count;
}

std::optional<std::string> HTTPBodyPart::headerFault(const Headers& headers) {
    auto shown = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            out += c == '\r'   ? std::string("\\r")
                   : c == '\n' ? std::string("\\n")
                               : std::string(1, c);
        }
        return "\"" + out + "\"";
    };
    for (const auto& [name, value] : headers) {
        if (name.empty() || name.find_first_of("\r\n:") != std::string::npos) {
            return "The header name " + shown(name) + " is not a header name.";
        }
        if (value.find_first_of("\r\n") != std::string::npos) {
            return "The value of header " + shown(name) + " holds a line break: " + shown(value) +
                   ".";
        }
    }
    return std::nullopt;
}

std::optional<core::Bytes> HTTPBodyPart::phaseText() const {
    switch (phase_) {
        case PartPhase::Boundary:
            return encoded(hasInitialBoundary_ ? openingDelimiter() : partDelimiter());
        case PartPhase::Headers:
            return encoded(stringForHeaders());
        case PartPhase::Closing:
            return hasFinalBoundary_ ? encoded(closingDelimiter()) : core::Bytes{};
        default:
            return core::Bytes{};
    }
}

// Main thread: the current text phase and those after it, as far as the capacity allows,
// stopping at the body or the end of the part.
std::size_t HTTPBodyPart::deliverTexts(std::uint8_t* buffer, std::size_t maxLength) {
    std::size_t written = 0;
    while (!completed_ && !error_ && phase_ != PartPhase::Body) {
        if (!phaseText_) {
            if (phase_ == PartPhase::Headers) {
                if (auto fault = headerFault(headers_)) {
                    fail(*fault);
                    break;
                }
            }
            phaseText_ = phaseText();
            if (!phaseText_) {
                fail("Its header block cannot be written in string encoding " +
                     std::to_string(stringEncoding_) + ".");
                break;
            }
        }
        const core::Bytes& text = *phaseText_;
        std::size_t count =
            std::min<std::uint64_t>(maxLength - written, text.size() - phaseReadOffset_);
        if (count > 0) {
            std::memcpy(buffer + written, text.data() + phaseReadOffset_, count);
        }
        phaseReadOffset_ += count;
        written += count;
        if (phaseReadOffset_ < text.size()) {
            break;
        }
        performPhaseStep();
    }
    return written;
}

std::size_t HTTPBodyPart::readBody(std::uint8_t* buffer, std::size_t maxLength, BodyState& state) {
    core::InputStream& source = *inputStream_;
    std::uint64_t remaining = bodyContentLength_ - bodyBytesRead_;
    std::ptrdiff_t count = 0;
    if (remaining > 0 && maxLength > 0 && source.hasBytesAvailable()) {
        count = source.read(buffer, std::min<std::uint64_t>(maxLength, remaining));
        if (count < 0) {
            fail("Its source could not be read.", source.streamError());
            state = BodyState::Failed;
            return 0;
        }
        bodyBytesRead_ += static_cast<std::uint64_t>(count);
        if (count == 0) {
            fail(shortSourceReason());
            state = BodyState::Failed;
            return 0;
        }
    }
    state = checkBodyEnd();
    return state == BodyState::Failed ? 0 : static_cast<std::size_t>(count);
}

// Sending fewer or more bytes than the Content-Length announced would corrupt the request, so
// a source that ends early or runs long fails the part instead.
HTTPBodyPart::BodyState HTTPBodyPart::checkBodyEnd() {
    core::InputStream& source = *inputStream_;
    if (source.streamStatus() == core::StreamStatus::Error) {
        fail("Its source could not be read.", source.streamError());
        return BodyState::Failed;
    }
    if (bodyBytesRead_ < bodyContentLength_) {
        if (source.hasBytesAvailable()) {
            return BodyState::More;
        }
        fail(shortSourceReason());
        return BodyState::Failed;
    }
    if (source.hasBytesAvailable()) {
        std::uint8_t probe = 0;
        std::ptrdiff_t extra = source.read(&probe, 1);
        if (extra != 0) {
            fail(extra > 0
                     ? "Its source holds more than the " + std::to_string(bodyContentLength_) +
                           " bytes announced for it; it changed after it was added."
                     : "Its source could not be read.",
                 source.streamError());
            return BodyState::Failed;
        }
    }
    return BodyState::Complete;
}

std::string HTTPBodyPart::shortSourceReason() const {
    return "Its source ended after " + std::to_string(bodyBytesRead_) + " of the " +
           std::to_string(bodyContentLength_) + " bytes announced for it.";
}

// On the main thread the steps run at once; from another thread they are posted to it and
// waited for.
bool HTTPBodyPart::onMainThread(const std::function<void()>& steps) {
    if (core::RunLoop::main()->postAndWait(steps)) {
        return true;
    }
    fail("The main thread has ended, so the body cannot go on.");
    return false;
}

void HTTPBodyPart::performPhaseStep() {
    switch (phase_) {
        case PartPhase::Body:
            inputStream_->close();
            bodyFinished_ = false;
            phase_ = PartPhase::Closing;
            break;
        case PartPhase::Headers:
            inputStream_->scheduleInRunLoop(core::RunLoop::current(), core::RunLoop::kCommonModes);
            inputStream_->open();
            phase_ = PartPhase::Body;
            break;
        case PartPhase::Boundary:
            phase_ = PartPhase::Headers;
            break;
        case PartPhase::Closing:
            completed_ = true;
            phase_ = PartPhase::Boundary;
            break;
        case PartPhase::Created:
            phase_ = PartPhase::Boundary;
            break;
    }
    phaseReadOffset_ = 0;
    phaseText_.reset();
}

std::ptrdiff_t HTTPBodyPart::fail(std::string reason,
                                  const std::optional<core::Error>& underlying) {
    std::string description = "A part of the multipart body could not be sent. " + reason;
    if (underlying) {
        description += " (" + underlying->localizedDescription() + ")";
    }
    core::Error error(std::string(NetworkingErrorDomain),
                      static_cast<std::int64_t>(NetworkingErrorCode::MultipartBodyFailed));
    error.set(core::LocalizedDescriptionKey, core::Value(description));
    error.set(core::LocalizedFailureReasonErrorKey, core::Value(reason));
    if (underlying) {
        error.setUnderlyingError(*underlying);
    }
    error_ = std::move(error);
    return -1;
}

std::string HTTPBodyPart::description() const {
    return "<HTTPBodyPart phase " + std::to_string(static_cast<int>(phase_)) + ", " +
           std::to_string(contentLength()) + " bytes>";
}

}  // namespace net
