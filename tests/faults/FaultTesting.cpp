#include "tests/faults/FaultTesting.h"

#include <gtest/gtest.h>

#include "platform/core/Bytes.h"
#include "tests/support/RunLoopTesting.h"

namespace faults {

Outcome run(std::shared_ptr<net::HTTPRequestOperation> operation) {
    auto outcome = std::make_shared<Outcome>();
    operation->setCompletionBlockWithSuccess(
        [outcome](const auto&, const std::any& object) {
            ++outcome->successes;
            if (const auto* body = std::any_cast<std::shared_ptr<const core::Bytes>>(&object)) {
                outcome->body = *body ? core::stringFromBytes(**body) : "";
            }
        },
        [outcome](const auto&, const core::Error& error) {
            ++outcome->failures;
            outcome->error = error;
        });
    operation->start();
    outcome->ended = core::testing::pumpUntil(
        [&] { return operation->isFinished() && outcome->successes + outcome->failures > 0; });
    core::testing::pumpPending();
    std::weak_ptr<net::HTTPRequestOperation> watched = operation;
    operation.reset();
    outcome->released = core::testing::pumpUntil([&] { return watched.expired(); });
    return *outcome;
}

Outcome run(const url::URLRequest& request) {
    return run(net::HTTPRequestOperation::create(request));
}

void expectFailedOnce(const Outcome& outcome) {
    ASSERT_TRUE(outcome.ended) << "the operation never finished";
    EXPECT_EQ(outcome.successes, 0);
    EXPECT_EQ(outcome.failures, 1);
    EXPECT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.released) << "the finished operation is still held";
}

std::string patternedBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>('a' + (i * 7 + i / 1024) % 26);
    }
    return body;
}

}  // namespace faults
