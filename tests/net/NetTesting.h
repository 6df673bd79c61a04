#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "net/operations/URLConnectionOperation.h"
#include "platform/url/URL.h"
#include "platform/url/URLRequest.h"
#include "tests/support/RunLoopTesting.h"

namespace net::testing {

inline url::URLRequest requestFor(const std::string& address) {
    return url::URLRequest(url::URL::create(address));
}

// Pumps the main loop until the operation has finished and its completion work has reached
// the main queue (blocks queued there run before this returns).
inline bool waitUntilFinished(const URLConnectionOperation& operation) {
    return core::testing::pumpUntil([&] { return operation.isFinished(); });
}

// A flag raised by a completion block, read by the pumping test thread.
struct Flag {
    std::shared_ptr<std::atomic<bool>> raised = std::make_shared<std::atomic<bool>>(false);
    void raise() const { raised->store(true); }
    bool isRaised() const { return raised->load(); }
    bool wait() const {
        return core::testing::pumpUntil([this] { return isRaised(); });
    }
};

// What the blocks of a typed operation were given: the parsed body either way, the error on
// failure.
template <class Parsed>
struct TypedOutcome {
    bool succeeded = false;
    bool failed = false;
    Parsed parsed;
    std::optional<core::Error> error;

    bool done() const { return succeeded || failed; }
    bool wait() const {
        return core::testing::pumpUntil([this] { return done(); });
    }
    auto success() {
        return [this](const auto&, const auto&, const Parsed& value) {
            parsed = value;
            succeeded = true;
        };
    }
    auto failure() {
        return [this](const auto&, const auto&, const core::Error& failure, const Parsed& value) {
            error = failure;
            parsed = value;
            failed = true;
        };
    }
};

}  // namespace net::testing
