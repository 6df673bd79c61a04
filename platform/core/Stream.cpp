#include "platform/core/Stream.h"

#include <algorithm>

namespace core {

Stream::Stream() = default;
Stream::~Stream() = default;

std::optional<Value> Stream::property(std::string_view) const {
    return std::nullopt;
}

bool Stream::setProperty(std::string_view, const Value&) {
    return false;
}

void Stream::scheduleInRunLoop(const std::shared_ptr<RunLoop>& runLoop, const std::string& mode) {
    if (runLoop && !isScheduledInRunLoop(runLoop, mode)) {
        schedules_.emplace_back(runLoop, mode);
    }
}

void Stream::removeFromRunLoop(const std::shared_ptr<RunLoop>& runLoop, const std::string& mode) {
    std::erase_if(schedules_, [&](const auto& schedule) {
        auto loop = schedule.first.lock();
        return !loop || (loop == runLoop && schedule.second == mode);
    });
}

bool Stream::isScheduledInRunLoop(const std::shared_ptr<RunLoop>& runLoop,
                                  const std::string& mode) const {
    return std::any_of(schedules_.begin(), schedules_.end(), [&](const auto& schedule) {
        return schedule.first.lock() == runLoop && schedule.second == mode;
    });
}

void Stream::failWith(Error error) {
    error_ = std::move(error);
    status_ = StreamStatus::Error;
}

}  // namespace core
