#include "net/client/MultipartBodyStream.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"

namespace net {

namespace {

// What the opening visit may produce ahead of the first read: the texts of the first parts
// and any short bodies among them.
constexpr std::size_t kOpeningVisitBytes = 16 * 1024;

}  // namespace

// The first visit, posted when the stream opens. The main thread fills `bytes` and moves the
// stream to the first body it leaves to the reader; the reader takes them once `settled`
// holds. A visit that never runs (the main loop has ended) settles too, with no bytes.
struct MultipartBodyStream::OpeningVisit {
    std::mutex mutex;
    std::condition_variable condition;
    bool settled = false;    // guarded by mutex
    bool abandoned = false;  // guarded by mutex; set on the main thread before the task ran
    core::Bytes bytes;       // main thread until settled, then the reader's
    std::size_t taken = 0;

    // Held by the posted task: settles the visit when the task runs or is dropped.
    struct Settler {
        std::shared_ptr<OpeningVisit> visit;
        ~Settler() {
            std::lock_guard guard(visit->mutex);
            visit->settled = true;
            visit->condition.notify_all();
        }
    };
};

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
    awaitOpeningVisit();
    setStreamStatus(core::StreamStatus::Open);
    setInitialAndFinalBoundaries();
    nextPart_ = 0;
    currentPart_.reset();
    startOpeningVisit();
}

// The connection opens the body on the network thread and asks for its first bytes only
// after connecting and sending the request head; the main thread can do the first phase
// changes meanwhile instead of holding up the network thread for them later.
void MultipartBodyStream::startOpeningVisit() {
    if (core::Thread::isMainThread() || delay_ > 0 || numberOfBytesInPacket_ != kNoPacketLimit ||
        refusal_ || parts_.empty()) {
        return;
    }
    auto visit = std::make_shared<OpeningVisit>();
    auto settler = std::make_shared<OpeningVisit::Settler>();
    settler->visit = visit;
    openingVisit_ = visit;
    auto self = std::static_pointer_cast<MultipartBodyStream>(shared_from_this());
    core::RunLoop::main()->post([self, settler] {
        {
            std::lock_guard guard(settler->visit->mutex);
            if (settler->visit->abandoned) {
                return;
            }
        }
        core::Bytes& bytes = settler->visit->bytes;
        bytes.resize(kOpeningVisitBytes);
        std::size_t written = 0;
        if (self->advanceToPartWithBytes()) {
            written = self->advanceOnMainThread(bytes.data(), bytes.size(), 0, bytes.size());
        }
        bytes.resize(written);
    });
}

// On the main thread a visit not yet run cannot be waited for, since it would run on this
// very thread: it is called off, and the stream goes on as if it had never been posted.
void MultipartBodyStream::awaitOpeningVisit() {
    if (!openingVisit_) {
        return;
    }
    std::unique_lock lock(openingVisit_->mutex);
    if (!openingVisit_->settled && core::Thread::isMainThread()) {
        openingVisit_->abandoned = true;
        lock.unlock();
        openingVisit_.reset();
        return;
    }
    openingVisit_->condition.wait(lock, [this] { return openingVisit_->settled; });
}

void MultipartBodyStream::close() {
    awaitOpeningVisit();
    openingVisit_.reset();
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
    if (openingVisit_) {
        return readAfterOpeningVisit(buffer, maxLength);
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

// The bytes of the opening visit first, then on as any read goes. A visit that did not run
// leaves the stream where it was, and the read makes the visit itself.
std::ptrdiff_t MultipartBodyStream::readAfterOpeningVisit(std::uint8_t* buffer,
                                                          std::size_t maxLength) {
    awaitOpeningVisit();
    if (!openingVisit_) {
        return read(buffer, maxLength);
    }
    OpeningVisit& visit = *openingVisit_;
    if (currentPart_ && currentPart_->error()) {
        openingVisit_.reset();
        failWith(*currentPart_->error());
        return -1;
    }
    const std::size_t count = std::min(maxLength, visit.bytes.size() - visit.taken);
    if (count > 0) {
        std::memcpy(buffer, visit.bytes.data() + visit.taken, count);
    }
    visit.taken += count;
    if (visit.taken < visit.bytes.size()) {
        return static_cast<std::ptrdiff_t>(count);
    }
    openingVisit_.reset();
    if (count == maxLength) {
        return static_cast<std::ptrdiff_t>(count);
    }
    const std::ptrdiff_t more = read(buffer + count, maxLength - count);
    return more < 0 ? -1 : static_cast<std::ptrdiff_t>(count) + more;
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
