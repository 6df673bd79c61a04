#pragma once

#include <memory>
#include <optional>
#include <string>

#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/Error.h"
#include "platform/url/URLRequest.h"

namespace faults {

// How one operation ended: which blocks ran, how often, and with what.
struct Outcome {
    int successes = 0;
    int failures = 0;
    std::optional<core::Error> error;
    std::string body;       // what the success block was handed
    bool ended = false;     // the operation finished and its block ran within the watchdog
    bool released = false;  // nothing held the operation once it was done
};

// Runs `operation` to its end on the calling thread's loop, then keeps pumping what is
// pending so a second call of a block would be seen.
Outcome run(std::shared_ptr<net::HTTPRequestOperation> operation);
Outcome run(const url::URLRequest& request);

// The operation ended, only its failure block ran, once, with an error, and it was released.
void expectFailedOnce(const Outcome& outcome);

// A body of `size` bytes that is different at every offset within a kilobyte.
std::string patternedBody(std::size_t size);

}  // namespace faults
