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
};

class ObservationTest : public ::testing::Test {
protected:
    std::shared_ptr<Indicator> indicator = std::make_shared<Indicator>();
    std::vector<std::string> calls;

    ObserverToken observe(const std::string& key) {
        return indicator->addObserver(key, [this](const std::string& k, Observable::Phase p) {
            calls.push_back((p == Observable::Phase::WillChange ? "will " : "did ") + k);
        });
    }
};

TEST_F(ObservationTest, AChangeIsAnnouncedForItsKeyAndEveryObservedKeyDerivedFromIt) {
    auto summary = observe("summary");
    auto visible = observe("visible");
    auto count = observe("count");
    auto right = observe("right");
    auto unrelated = observe("other");

    indicator->willChangeValueForKey("count");
    indicator->didChangeValueForKey("count");
    indicator->didChangeValueForKey("left");

    EXPECT_EQ(calls,
              (std::vector<std::string>{"will count", "will summary", "will visible", "did count",
                                        "did summary", "did visible", "did right"}));
}

TEST_F(ObservationTest, ObserverMayReleaseTheObjectItObserves) {
    Indicator* raw = indicator.get();
    auto visible = observe("visible");
    auto count = indicator->addObserver(
        "count", [&](const std::string&, Observable::Phase) { indicator.reset(); });

    raw->didChangeValueForKey("count");

    EXPECT_EQ(indicator, nullptr);
    EXPECT_EQ(calls, std::vector<std::string>{"did visible"});
}

}  // namespace
}  // namespace core
