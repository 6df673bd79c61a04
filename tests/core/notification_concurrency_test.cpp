#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/NotificationCenter.h"

namespace core {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWatchdog = std::chrono::seconds(10);

// Spins (yielding) until the flag is set; false when the watchdog expires first.
bool waitFor(const std::atomic<bool>& flag) {
    const auto deadline = Clock::now() + kWatchdog;
    while (!flag.load()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST(NotificationConcurrencyTest, RemovalWaitsForADeliveryRunningOnAnotherThread) {
    auto center = NotificationCenter::create();
    std::atomic<bool> entered{false};
    std::atomic<bool> removing{false};
    std::atomic<bool> deliveryEnded{false};
    std::atomic<bool> endedBeforeRemovalReturned{false};
    auto token = center->addObserver("N", [&](const Notification&) {
        entered = true;
        waitFor(removing);
        // Linger so that a removal that does not wait would return meanwhile.
        for (int i = 0; i < 2000; ++i) {
            std::this_thread::yield();
        }
        deliveryEnded = true;
    });

    std::thread poster([&] { center->post("N"); });
    EXPECT_TRUE(waitFor(entered));
    std::thread remover([&] {
        removing = true;
        token.remove();
        endedBeforeRemovalReturned = deliveryEnded.load();
    });
    remover.join();
    poster.join();

    EXPECT_TRUE(endedBeforeRemovalReturned);
}

TEST(NotificationConcurrencyTest, RemovedObserversAreNeverCalledByConcurrentPosts) {
    auto center = NotificationCenter::create();
    std::atomic<bool> stop{false};
    std::atomic<int> lateCalls{0};
    std::vector<std::thread> posters;
    const auto deadline = Clock::now() + kWatchdog;
    for (int i = 0; i < 2; ++i) {
        posters.emplace_back([&] {
            while (!stop && Clock::now() < deadline) {
                center->post("N");
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        auto called = std::make_shared<std::atomic<bool>>(false);
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto token = center->addObserver("N", [called, removed, &lateCalls](const Notification&) {
            *called = true;
            if (*removed) {
                ++lateCalls;
            }
        });
        if (!waitFor(*called)) {
            ADD_FAILURE() << "no post reached the observer";
            break;
        }
        // Removal now races with deliveries under way.
        token.remove();
        *removed = true;
    }
    stop = true;
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(lateCalls, 0);
}

}  // namespace
}  // namespace core
