#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"

namespace core {
namespace {

class Sender : public Object {};

class NotificationCenterTest : public ::testing::Test {
protected:
    std::shared_ptr<NotificationCenter> center = NotificationCenter::create();
    std::vector<std::string> calls;

    NotificationCenter::Observer record(std::string tag) {
        return [this, tag](const Notification& n) { calls.push_back(tag + ":" + n.name); };
    }
};

TEST_F(NotificationCenterTest, DeliversByNameAndSenderInRegistrationOrder) {
    auto sender = std::make_shared<Sender>();
    auto other = std::make_shared<Sender>();
    auto any = center->addObserver("IMAGE", record("any"));
    auto fromSender = center->addObserver("IMAGE", sender.get(), record("sender"));
    auto everything = center->addObserver("", record("all"));
    auto done = center->addObserver("CAMERADONE", record("done"));

    center->post("IMAGE", sender);
    center->post("IMAGE", other);
    center->post("CAMERADONE");
    center->post("UNKNOWN");

    EXPECT_EQ(calls, (std::vector<std::string>{"any:IMAGE", "sender:IMAGE", "all:IMAGE",
                                               "any:IMAGE", "all:IMAGE", "all:CAMERADONE",
                                               "done:CAMERADONE", "all:UNKNOWN"}));
}

TEST_F(NotificationCenterTest, CarriesObjectAndUserInfo) {
    auto sender = std::make_shared<Sender>();
    Notification received;
    auto token = center->addObserver("IMAGE", [&](const Notification& n) { received = n; });

    center->post("IMAGE", sender, {{"source", std::string("camera")}});

    EXPECT_EQ(received.object, sender);
    ASSERT_EQ(received.userInfo.count("source"), 1u);
    EXPECT_EQ(std::any_cast<std::string>(received.userInfo.at("source")), "camera");
}

TEST_F(NotificationCenterTest, TokenEndsTheRegistrationByRemovalDestructionOrAssignment) {
    auto removed = center->addObserver("N", record("removed"));
    auto moved = center->addObserver("N", record("moved"));
    auto replaced = center->addObserver("N", record("replaced"));
    { auto scoped = center->addObserver("N", record("scoped")); }
    center->removeObserver(removed);
    ObserverToken holder(std::move(moved));
    replaced = ObserverToken();

    center->post("N");

    EXPECT_EQ(calls, std::vector<std::string>{"moved:N"});
    EXPECT_FALSE(removed.isActive());
    EXPECT_TRUE(holder.isActive());
}

TEST_F(NotificationCenterTest, ObserverMayRemoveItselfAndOthersDuringDelivery) {
    ObserverToken first;
    ObserverToken second;
    first = center->addObserver("N", [&](const Notification&) {
        calls.push_back("first");
        first.remove();
        second.remove();
    });
    second = center->addObserver("N", record("second"));

    center->post("N");
    center->post("N");

    EXPECT_EQ(calls, std::vector<std::string>{"first"});
}

TEST_F(NotificationCenterTest, ObserverAddedDuringDeliveryWaitsForTheNextPost) {
    ObserverToken late;
    auto adder = center->addObserver("N", [&](const Notification&) {
        if (!late.isActive()) {
            late = center->addObserver("N", record("late"));
        }
    });

    center->post("N");
    EXPECT_TRUE(calls.empty());
    center->post("N");
    EXPECT_EQ(calls, std::vector<std::string>{"late:N"});
}

TEST_F(NotificationCenterTest, PostsFromInsideAnObserverAreDeliveredAtOnce) {
    auto outer = center->addObserver("outer", [&](const Notification&) {
        calls.push_back("outer begins");
        center->post("inner");
        calls.push_back("outer ends");
    });
    auto inner = center->addObserver("inner", record("inner"));

    center->post("outer");

    EXPECT_EQ(calls, (std::vector<std::string>{"outer begins", "inner:inner", "outer ends"}));
}

TEST_F(NotificationCenterTest, TokenOutlivingItsCenterIsHarmless) {
    auto token = center->addObserver("N", record("x"));
    center.reset();
    token.remove();
    EXPECT_FALSE(token.isActive());
}

TEST_F(NotificationCenterTest, ReleasesWhatAnObserverCapturedWhenItIsRemoved) {
    auto captured = std::make_shared<int>(1);
    std::weak_ptr<int> watch = captured;
    auto token = center->addObserver("N", [captured](const Notification&) {});
    captured.reset();
    ASSERT_FALSE(watch.expired());
    token.remove();
    EXPECT_TRUE(watch.expired());
}

TEST(DefaultNotificationCenterTest, IsOneCenterForTheProcess) {
    EXPECT_EQ(NotificationCenter::defaultCenter(), NotificationCenter::defaultCenter());
    int count = 0;
    auto token = NotificationCenter::defaultCenter()->addObserver(
        "DefaultCenterTest", [&](const Notification&) { ++count; });
    NotificationCenter::defaultCenter()->post("DefaultCenterTest");
    EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace core
