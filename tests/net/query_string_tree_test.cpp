#include <gtest/gtest.h>

#include "net/client/QueryString.h"

namespace {

using core::Value;

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
