#include <gtest/gtest.h>

#include "net/client/QueryString.h"

namespace {

using core::Value;

TEST(QueryString, WorkedExampleIsEncodedByteForByte) {
    Value::Map parameters{
        {"user", "Jo Smith"},
        {"filter", Value::Map{{"status", "open"}, {"tags", Value::List{"a b", "c&d"}}}},
        {"id", 42},
        {"note", "50% off, caf\xC3\xA9!"},
    };
    EXPECT_EQ(net::BuildQueryString(parameters),
              "user=Jo%20Smith&filter[status]=open&filter[tags][]=a%20b&filter[tags][]=c%26d"
              "&id=42&note=50%25%20off,%20caf%C3%A9%21");
}

TEST(QueryString, EscapesEverythingButTheKeptCharacters) {
    EXPECT_EQ(net::EscapeQueryComponent("filter[sta tus]"), "filter[sta%20tus]");
    EXPECT_EQ(net::EscapeQueryComponent(":/.?&=;+!@#$()~"),
              "%3A%2F%2E%3F%26%3D%3B%2B%21%40%23%24%28%29%7E");
    EXPECT_EQ(net::EscapeQueryComponent("\"<>\\^`{|}%\t"), "%22%3C%3E%5C%5E%60%7B%7C%7D%25%09");
    EXPECT_EQ(net::EscapeQueryComponent("AZaz09-_*',[]"), "AZaz09-_*',[]");
}

TEST(QueryString, NonASCIIFollowsTheEncodingAndFailsWhenItCannot) {
    EXPECT_EQ(net::EscapeQueryComponent("caf\xC3\xA9", 5), "caf%E9");       // Latin-1
    EXPECT_EQ(net::EscapeQueryComponent("\xE2\x82\xAC", 5), std::nullopt);  // euro sign
    EXPECT_EQ(net::EscapeQueryComponent("caf\xC3\xA9", 1), std::nullopt);   // ASCII
    EXPECT_EQ(net::BuildQueryString(Value::Map{{"k", "\xE2\x82\xAC"}}, 5), std::nullopt);
}

TEST(QueryString, NestingComposesKeysDepthFirst) {
    Value::Map parameters{
        {"items", Value::List{Value::Map{{"name", "x"}}}},
        {"matrix", Value::List{Value::List{1}}},
        {"tags", Value::List{"a", "b"}},
        {"empty", Value::Map{}},
        {"none", Value::List{}},
        {"nothing", nullptr},
    };
    EXPECT_EQ(net::BuildQueryString(parameters),
              "items[][name]=x&matrix[][]=1&tags[]=a&tags[]=b&nothing=%3Cnull%3E");
    EXPECT_EQ(net::BuildQueryString(Value::Map{}), "");
}

TEST(QueryString, FlattenKeepsLeavesUnchanged) {
    auto pairs = net::FlattenParameters("root", Value::Map{{"n", 1.5}, {"b", core::Bytes{1, 2}}});
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], net::QueryStringPair("root[n]", 1.5));
    EXPECT_EQ(pairs[1], net::QueryStringPair("root[b]", core::Bytes{1, 2}));
    EXPECT_EQ(net::FlattenParameters(std::nullopt, "leaf").front().field(), "");
}

// The reference form: every pair of the flattened tree encoded on its own, joined with '&'.
std::string joinedPairs(const Value::Map& parameters) {
    std::string joined;
    for (const auto& [key, value] : parameters) {
        for (const auto& pair : net::FlattenParameters(key, value)) {
            joined += (joined.empty() ? "" : "&") + pair.URLEncodedStringValue(4).value();
        }
    }
    return joined;
}

// UTF-8 forms are written straight from the tree; they must match the pairs' encoding for
// every shape a tree can take.
TEST(QueryStringTree, UTF8FormMatchesTheEncodedPairsForEveryShape) {
    const std::string escapedOnly(300, '\xFF');
    Value::Map parameters{
        {"", Value::Map{{"", "empty keys"}, {"x y", Value::List{}}}},
        {"order #1", Value::Map{{"lines", Value::List{Value::Map{{"a&b", 1}, {"c", 2.5}},
                                                      Value::List{true, nullptr}}},
                                {"photo", core::Bytes{0xde, 0xad}},
                                {"note", "caf\xC3\xA9 \xE2\x82\xAC 100% [ok]"}}},
        {"escaped only", escapedOnly},
        {"kept", "AZaz09-_*',[]"},
        {"deep", Value::Map{{"a", Value::Map{{"b", Value::Map{{"c", Value::List{"d"}}}}}}}},
    };
    EXPECT_EQ(net::BuildQueryString(parameters), joinedPairs(parameters));
    EXPECT_EQ(net::BuildQueryString(Value::Map{{"only", Value::Map{}}}), "");
}

}  // namespace
