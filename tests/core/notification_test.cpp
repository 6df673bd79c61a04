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
    auto any = center->addObserver("IMAGE", record("any"));
    auto fromSender = center->addObserver("IMAGE", sender.get(), record("sender"));
    auto everything = center->addObserver("", record("all"));
    Notification received;
    auto done = center->addObserver("CAMERADONE", [&](const Notification& n) { received = n; });

    center->post("IMAGE", sender);
    center->post("IMAGE", std::make_shared<Sender>());
    center->post("CAMERADONE", sender, {{"source", std::string("camera")}});

    EXPECT_EQ(calls, (std::vector<std::string>{"any:IMAGE", "sender:IMAGE", "all:IMAGE",
                                               "any:IMAGE", "all:IMAGE", "all:CAMERADONE"}));
    EXPECT_EQ(received.object, sender);
    EXPECT_EQ(std::any_cast<std::string>(received.userInfo.at("source")), "camera");
}

TEST_F(NotificationCenterTest, TokenEndsTheRegistrationByRemovalDestructionOrAssignment) {
    auto captured = std::make_shared<int>(1);
    std::weak_ptr<int> watch = captured;
    auto removed = center->addObserver("N", [captured](const Notification&) {});
    auto moved = center->addObserver("N", record("moved"));
    auto replaced = center->addObserver("N", record("replaced"));
    { auto scoped = center->addObserver("N", record("scoped")); }
    captured.reset();
    center->removeObserver(removed);
    ObserverToken holder(std::move(moved));
    replaced = ObserverToken();

    center->post("N");

    EXPECT_EQ(calls, std::vector<std::string>{"moved:N"});
    EXPECT_TRUE(watch.expired());  // what the observer held goes with it
    center.reset();
    holder.remove();  // harmless once the center is gone
}

TEST_F(NotificationCenterTest, ObserversMayAddAndRemoveObserversDuringDelivery) {
    ObserverToken first;
    ObserverToken second;
    ObserverToken late;
    first = center->addObserver("N", [&](const Notification&) {
        calls.push_back("first");
        first.remove();
        second.remove();
        late = center->addObserver("N", record("late"));
    });
    second = center->addObserver("N", record("second"));

    center->post("N");
    EXPECT_EQ(calls, std::vector<std::string>{"first"});
    center->post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "late:N"}));
}

}  // namespace
}  // namespace core
