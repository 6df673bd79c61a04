#include "platform/core/Log.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

TEST(LogConcurrency, LinesFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    core::Log::Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                core::logf("thread %d line %d end", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    auto messages = capture.messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kLines));
    std::map<int, int> next;
    const std::regex shape(R"(thread (\d) line (\d+) end)");
    for (const auto& message : messages) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(message, match, shape)) << message;
        int thread = std::stoi(match[1]);
        EXPECT_EQ(std::stoi(match[2]), next[thread]++);
    }
}
