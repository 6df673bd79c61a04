#include "net/client/MultipartBodyStream.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/core/RunLoop.h"

namespace net {

std::shared_ptr<MultipartBodyStream> MultipartBodyStream::create(StringEncodingId encoding) {
    return std::shared_ptr<MultipartBodyStream>(new MultipartBodyStream(encoding));
}

void MultipartBodyStream::appendHTTPBodyPart(std::shared_ptr<HTTPBodyPart> part) {
    if (part) {
        parts_.push_back(std::move(part));
    }
}

void MultipartBodyStream::setInitialAndFinalBoundaries() {
    if (parts_.empty()) {
        return;
    }
    for (const auto& part : parts_) {
        part->setHasInitialBoundary(false);
        part->setHasFinalBoundary(false);
    }
    parts_.front()->setHasInitialBoundary(true);
    parts_.back()->setHasFinalBoundary(true);
}

std::uint64_t MultipartBodyStream::contentLength() const {
    std::uint64_t total = 0;
    for (const auto& part : parts_) {
        total += part->contentLength();
    }
    return total;
}

void MultipartBodyStream::open() {
    auto status = streamStatus();
    if (status != core::StreamStatus::NotOpen && status != core::StreamStatus::Closed) {
        return;
    }
    setStreamStatus(core::StreamStatus::Open);
    setInitialAndFinalBoundaries();
    nextPart_ = 0;
    currentPart_.reset();
}

void MultipartBodyStream::close() {
    if (streamStatus() != core::StreamStatus::Error) {
        setStreamStatus(core::StreamStatus::Closed);
    }
}

bool MultipartBodyStream::hasBytesAvailable() const {
    return streamStatus() == core::StreamStatus::Open;
}

bool MultipartBodyStream::advanceToPartWithBytes() {
    while (!currentPart_ || !currentPart_->hasBytesAvailable()) {
        if (nextPart_ >= parts_.size()) {
            currentPart_.reset();
            return false;
        }
        currentPart_ = parts_[nextPart_++];
    }
    return true;
}

// Main thread: the phase changes of the current part and, while capacity and the packet size
// allow, those of the parts after it, so the end of one part and the start of the next cost a
// single visit.
std::size_t MultipartBodyStream::advanceOnMainThread(std::uint8_t* buffer, std::size_t capacity,
                                                     std::size_t taken, std::uint64_t limit) {
    std::size_t written = 0;
    for (;;) {
        written += currentPart_->advanceOnMainThread(buffer + written, capacity - written);
        if (currentPart_->hasBytesAvailable() || currentPart_->error() || delay_ > 0 ||
            taken + written >= limit || !advanceToPartWithBytes()) {
            return written;
        }
    }
}

std::ptrdiff_t MultipartBodyStream::read(std::uint8_t* buffer, std::size_t maxLength) {
    if (streamStatus() == core::StreamStatus::Error) {
        return -1;
    }
    if (streamStatus() != core::StreamStatus::Open) {
        return 0;
    }
    if (refusal_) {
        failWith(*refusal_);
        return -1;
    }
    std::size_t total = 0;
    const std::uint64_t limit = std::min<std::uint64_t>(numberOfBytesInPacket_, maxLength);
    bool inPart = false;  // a part begun in this read and not yet finished
    while (total < maxLength && (inPart || (total < limit && advanceToPartWithBytes()))) {
        HTTPBodyPart& part = *currentPart_;
        if (part.needsMainThread()) {
            auto step = [&] {
                total += advanceOnMainThread(buffer + total, maxLength - total, total, limit);
            };
            if (!core::RunLoop::main()->postAndWait(step)) {
                part.fail("The main thread has ended, so the body cannot go on.");
            }
        } else {
            total += part.readBodyBytes(buffer + total, maxLength - total);
        }
        // A visit leaves the stream at the part that failed, or past the last part.
        if (currentPart_ && currentPart_->error()) {
            failWith(*currentPart_->error());
            return -1;
        }
        inPart = currentPart_ && currentPart_->hasBytesAvailable();
        if (!inPart) {
            pause();
        }
    }
    if (inPart) {
        pause();
    }
    return static_cast<std::ptrdiff_t>(total);
}

// Throttling: the reader rests after each part it read from.
void MultipartBodyStream::pause() const {
    if (delay_ > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(delay_));
    }
}

void MultipartBodyStream::refuse(core::Error error) {
    if (!refusal_) {
        refusal_ = std::move(error);
    }
}

std::string MultipartBodyStream::description() const {
    return "<MultipartBodyStream " + std::to_string(parts_.size()) + " parts, " +
           std::to_string(contentLength()) + " bytes>";
}

}  // namespace net
