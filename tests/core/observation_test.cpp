#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Observable.h"

namespace core {
namespace {

// "visible" derives from "count", "summary" from "visible"; "left" and "right" derive from
// each other.
class Indicator : public Observable {
public:
    void setCount(int count) {
        willChangeValueForKey("count");
        count_ = count;
        didChangeValueForKey("count");
    }

protected:
    std::vector<std::string> keysAffecting(const std::string& key) const override {
        static const std::map<std::string, std::vector<std::string>> affecting{
            {"visible", {"count"}},
            {"summary", {"visible"}},
            {"left", {"right"}},
            {"right", {"left"}}};
        auto it = affecting.find(key);
        return it == affecting.end() ? std::vector<std::string>{} : it->second;
    }

private:
    int count_ = 0;
};

std::string describe(const std::string& key, Observable::Phase phase) {
    return (phase == Observable::Phase::WillChange ? "will " : "did ") + key;
}

class ObservationTest : public ::testing::Test {
protected:
    std::shared_ptr<Indicator> indicator = std::make_shared<Indicator>();
    std::vector<std::string> calls;

    ObserverToken observe(const std::string& key) {
        return indicator->addObserver(key, [this](const std::string& k, Observable::Phase p) {
            calls.push_back(describe(k, p));
        });
    }
};

TEST_F(ObservationTest, AnnouncesWillAndDidToObserversOfThatKeyOnly) {
    auto count = observe("count");
    auto other = observe("other");

    indicator->setCount(3);

    EXPECT_EQ(calls, (std::vector<std::string>{"will count", "did count"}));
}

TEST_F(ObservationTest, AChangeIsAnnouncedForEveryObservedKeyDerivedFromIt) {
    auto summary = observe("summary");
    auto visible = observe("visible");
    auto count = observe("count");

    indicator->setCount(1);

    EXPECT_EQ(calls, (std::vector<std::string>{"will count", "will summary", "will visible",
                                               "did count", "did summary", "did visible"}));
}

TEST_F(ObservationTest, KeysThatDeriveFromEachOtherAreAnnouncedOnce) {
    auto right = observe("right");

    indicator->willChangeValueForKey("left");
    indicator->didChangeValueForKey("left");

    EXPECT_EQ(calls, (std::vector<std::string>{"will right", "did right"}));
}

TEST_F(ObservationTest, RemovedObserversHearNothingAndACopyStartsWithoutObservers) {
    auto removed = observe("count");
    auto kept = observe("count");
    indicator->removeObserver(removed);
    Indicator copy(*indicator);

    indicator->setCount(1);
    copy.setCount(2);

    EXPECT_EQ(calls, (std::vector<std::string>{"will count", "did count"}));
}

TEST_F(ObservationTest, ObserverMayReleaseTheObjectItObserves) {
    Indicator* raw = indicator.get();
    auto visible = indicator->addObserver(
        "visible", [&](const std::string&, Observable::Phase) { calls.push_back("visible"); });
    auto count = indicator->addObserver("count", [&](const std::string&, Observable::Phase p) {
        if (p == Observable::Phase::DidChange) {
            indicator.reset();
        }
    });

    raw->didChangeValueForKey("count");

    EXPECT_EQ(indicator, nullptr);
    EXPECT_EQ(calls, std::vector<std::string>{"visible"});
    visible.remove();  // the object is gone; removal finds nothing to do
}

}  // namespace
}  // namespace core
