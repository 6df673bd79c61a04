#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Error.h"
#include "platform/core/Object.h"
#include "platform/core/Value.h"

namespace core {

class RunLoop;

// The platform's stream statuses, with their numeric values.
enum class StreamStatus : std::uint64_t {
    NotOpen = 0,
    Opening = 1,
    Open = 2,
    Reading = 3,
    Writing = 4,
    AtEnd = 5,
    Closed = 6,
    Error = 7,
};

// Property keys. The value under the first is all bytes written so far to a memory output
// stream (Bytes); under the second, a file stream's write position (integer).
inline constexpr std::string_view StreamDataWrittenToMemoryStreamKey =
    "DataWrittenToMemoryStreamKey";
inline constexpr std::string_view StreamFileCurrentOffsetKey = "FileCurrentOffsetKey";

// The base of input and output streams. Our streams are synchronous: every read and write
// completes (or fails) before it returns, so they deliver no events and scheduling them in a
// run loop only records the loop and mode for whoever asks. A stream is used by one thread at
// a time, but it may be created on one thread and used on another; nothing is tied to the
// creating thread.
class Stream : public Object {
public:
    ~Stream() override;

    // Opens a stream that is not open yet; afterwards the status is Open (AtEnd for an input
    // that is already exhausted) or Error with streamError() set. Later calls do nothing.
    virtual void open() = 0;
    // Releases the stream's resources; the status becomes Closed (or Error if closing failed).
    virtual void close() = 0;

    StreamStatus streamStatus() const { return status_; }
    // Why the stream's status is Error; none otherwise.
    const std::optional<Error>& streamError() const { return error_; }

    // Properties by key; none, and false on setting, for keys the stream does not know.
    virtual std::optional<Value> property(std::string_view key) const;
    virtual bool setProperty(std::string_view key, const Value& value);

    // Recorded only; see the class comment.
    virtual void scheduleInRunLoop(const std::shared_ptr<RunLoop>& runLoop,
                                   const std::string& mode);
    virtual void removeFromRunLoop(const std::shared_ptr<RunLoop>& runLoop,
                                   const std::string& mode);
    bool isScheduledInRunLoop(const std::shared_ptr<RunLoop>& runLoop,
                              const std::string& mode) const;

protected:
    Stream();
    void setStreamStatus(StreamStatus status) { status_ = status; }
    // Moves the stream to Error for good, keeping the reason.
    void failWith(Error error);

private:
    StreamStatus status_ = StreamStatus::NotOpen;
    std::optional<Error> error_;
    std::vector<std::pair<std::weak_ptr<RunLoop>, std::string>> schedules_;
};

}  // namespace core
