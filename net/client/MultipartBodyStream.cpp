#include "net/client/MultipartBodyStream.h"

#include <algorithm>
#include <chrono>
#include <thread>

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
    if (currentPart_ && currentPart_->hasBytesAvailable()) {
        return true;
    }
    currentPart_ = nextPart_ < parts_.size() ? parts_[nextPart_++] : nullptr;
    return currentPart_ != nullptr;
}

std::ptrdiff_t MultipartBodyStream::read(std::uint8_t* buffer, std::size_t maxLength) {
    if (streamStatus() == core::StreamStatus::Error) {
        return -1;
    }
    if (streamStatus() != core::StreamStatus::Open) {
        return 0;
    }
    std::size_t total = 0;
    std::uint64_t limit = std::min<std::uint64_t>(numberOfBytesInPacket_, maxLength);
    while (total < limit && advanceToPartWithBytes()) {
        if (!currentPart_->hasBytesAvailable()) {
            continue;  // a part already sent on an earlier pass
        }
        std::ptrdiff_t count = currentPart_->read(buffer + total, maxLength - total);
        if (count < 0) {
            failWith(*currentPart_->error());
            return -1;
        }
        total += static_cast<std::size_t>(count);
        if (delay_ > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(delay_));
        }
    }
    return static_cast<std::ptrdiff_t>(total);
}

std::string MultipartBodyStream::description() const {
    return "<MultipartBodyStream " + std::to_string(parts_.size()) + " parts, " +
           std::to_string(contentLength()) + " bytes>";
}

}  // namespace net
