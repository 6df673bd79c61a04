#include "platform/core/Value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using core::Bytes;
using core::Value;

namespace {

std::vector<std::string> keysOf(const Value::Map& map) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : map) {
        keys.push_back(key);
    }
    return keys;
}

}  // namespace

TEST(ValueDescription, LeavesUseThePlatformTexts) {
    EXPECT_EQ(Value("Jo Smith").description(), "Jo Smith");
    EXPECT_EQ(Value(42).description(), "42");
    EXPECT_EQ(Value(-7LL).description(), "-7");
    EXPECT_EQ(Value(true).description(), "1");
    EXPECT_EQ(Value(false).description(), "0");
    EXPECT_EQ(Value(1.5).description(), "1.5");
    EXPECT_EQ(Value(0.1).description(), "0.1");
    EXPECT_EQ(Value(3.0).description(), "3");
    EXPECT_EQ(Value().description(), "<null>");
    EXPECT_EQ(Value(nullptr).description(), "<null>");
    EXPECT_EQ(Value(Bytes{0x0a, 0x1b, 0x2c, 0x3d, 0x4e}).description(), "<0a1b2c3d 4e>");
    EXPECT_EQ(Value(Bytes{}).description(), "<>");
    EXPECT_EQ(Value(Bytes{1, 2, 3, 4, 5, 6, 7, 8}).description(), "<01020304 05060708>");
}

TEST(ValueEquality, ComparesKindsAndContents) {
    EXPECT_EQ(Value(2), Value(2.0));
    EXPECT_NE(Value(2), Value(2.5));
    EXPECT_NE(Value(1), Value(true));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_EQ(Value(), Value(nullptr));
    EXPECT_EQ(Value(Bytes{1, 2}), Value(Bytes{1, 2}));
    EXPECT_NE(Value(Value::List{1, 2}), Value(Value::List{2, 1}));
    // Maps are equal whatever the order of their keys; their values still count.
    EXPECT_EQ(Value(Value::Map{{"a", 1}, {"b", 2}}), Value(Value::Map{{"b", 2}, {"a", 1}}));
    EXPECT_NE(Value(Value::Map{{"a", 1}}), Value(Value::Map{{"a", 2}}));
    EXPECT_NE(Value(Value::Map{{"a", 1}}), Value(Value::Map{{"a", 1}, {"b", 1}}));
}

// Small maps scan their entries, large ones look keys up through a hash table: order,
// reassignment, erasure and copies must behave the same either way, and so must a large map
// shrunk back to a small one.
TEST(ValueMap, KeepsFirstInsertionOrderAndFindsEveryKeyWhateverItsSize) {
    for (int size : {5, 300}) {
        SCOPED_TRACE(size);
        Value::Map map;
        std::vector<std::string> expected;
        for (int i = 0; i < size; ++i) {
            expected.push_back("key" + std::to_string(i));
            map.set(expected.back(), i);
        }
        map.set("key1", "one");  // reassigned in place
        map["key4"] = "four";
        map["added"] = true;
        ASSERT_TRUE(map.erase("key2"));
        EXPECT_FALSE(map.erase("key2"));
        map.set("key2", "back");  // erased and set again: at the end
        expected.erase(expected.begin() + 2);
        expected.insert(expected.end(), {"added", "key2"});
        Value::Map copy = map;
        copy.set("key0", "changed");
        copy.erase("key3");

        EXPECT_EQ(keysOf(map), expected);
        for (const auto& key : expected) {
            EXPECT_TRUE(map.contains(key)) << key;
        }
        EXPECT_EQ(map.find("key0")->description(), "0");
        EXPECT_EQ(map.find("key1")->description(), "one");
        EXPECT_EQ(map.find("key3")->asInteger(), 3);
        EXPECT_TRUE(map.find("added")->isBool());
        EXPECT_EQ(map.find("missing"), nullptr);
        EXPECT_EQ(copy.find("key0")->description(), "changed");
        EXPECT_EQ(copy.find("key3"), nullptr);
        EXPECT_EQ(copy.size(), map.size() - 1);

        for (int i = 5; i < size; ++i) {
            map.erase("key" + std::to_string(i));
        }
        EXPECT_EQ(keysOf(map),
                  (std::vector<std::string>{"key0", "key1", "key3", "key4", "added", "key2"}));
        EXPECT_EQ(map.find("key4")->description(), "four");
        EXPECT_EQ(map.find("key2")->description(), "back");
        EXPECT_EQ(map.find("key5"), nullptr);
    }

    // Duplicate keys in a literal keep the first place and the last value.
    Value::Map literal{{"a", 1}, {"b", 2}, {"a", 3}};
    EXPECT_EQ(keysOf(literal), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(literal.find("a")->asInteger(), 3);
}
