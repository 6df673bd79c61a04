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

TEST(ValueMap, IterationFollowsFirstInsertionAndReassignmentKeepsThePlace) {
    Value::Map map{{"user", "Jo"}, {"filter", "x"}, {"id", 42}, {"note", "n"}};
    map.set("filter", Value::List{"a"});
    map["id"] = 43;
    map["added"] = true;
    EXPECT_EQ(keysOf(map), (std::vector<std::string>{"user", "filter", "id", "note", "added"}));
    EXPECT_TRUE(map.find("filter")->isList());
    EXPECT_EQ(map.find("id")->asInteger(), 43);

    EXPECT_TRUE(map.erase("filter"));
    EXPECT_FALSE(map.erase("filter"));
    map.set("filter", "back");
    EXPECT_EQ(keysOf(map), (std::vector<std::string>{"user", "id", "note", "added", "filter"}));
    // Lookups still land on the right entries after positions shifted.
    EXPECT_EQ(*map.find("note")->asString(), "n");
    EXPECT_EQ(*map.find("filter")->asString(), "back");
    EXPECT_EQ(map.find("missing"), nullptr);

    // Duplicate keys in a literal keep the first place and the last value.
    Value::Map literal{{"a", 1}, {"b", 2}, {"a", 3}};
    EXPECT_EQ(keysOf(literal), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(literal.find("a")->asInteger(), 3);
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

// Past a handful of entries the map looks keys up through a hash table; order, reassignment,
// erasure and copies must behave exactly as they do for small maps.
TEST(ValueMap, LargeMapsKeepOrderAndFindEveryKeyThroughReassignmentEraseAndCopy) {
    Value::Map map;
    for (int i = 0; i < 300; ++i) {
        map.set("key" + std::to_string(i), i);
    }
    map.set("key7", "seven");
    map["key250"] = "two fifty";
    ASSERT_TRUE(map.erase("key3"));
    EXPECT_FALSE(map.erase("key3"));
    EXPECT_EQ(map.size(), 299u);
    Value::Map copy = map;
    copy.set("key0", "changed");
    copy.erase("key299");
    for (int i = 0; i < 300; ++i) {
        const std::string key = "key" + std::to_string(i);
        EXPECT_EQ(map.contains(key), i != 3) << key;
    }
    EXPECT_EQ(map.find("key7")->description(), "seven");
    EXPECT_EQ(map.find("key250")->description(), "two fifty");
    EXPECT_EQ(map.find("key0")->description(), "0");
    EXPECT_EQ(map.find("key299")->description(), "299");
    EXPECT_EQ(copy.find("key0")->description(), "changed");
    EXPECT_EQ(copy.find("key299"), nullptr);
    EXPECT_EQ(copy.find("key298")->description(), "298");
    const auto keys = keysOf(map);
    EXPECT_EQ(keys[2], "key2");
    EXPECT_EQ(keys[3], "key4");
    EXPECT_EQ(keys[7 - 1], "key7");
    EXPECT_EQ(keys.back(), "key299");
    // Shrinking back below the hashing size still finds what is left.
    for (int i = 20; i < 300; ++i) {
        map.erase("key" + std::to_string(i));
    }
    EXPECT_EQ(map.size(), 19u);
    EXPECT_EQ(map.find("key19")->description(), "19");
    EXPECT_EQ(map.find("key7")->description(), "seven");
    EXPECT_EQ(map.find("key25"), nullptr);
}
