#include "orderd/Validation.h"

#include <gtest/gtest.h>

#include "orderd/UrlEncodedForm.h"

namespace orderd {
namespace {

TEST(ValidationTest, OrderNumbersCannotReachOutsideTheirFolder) {
    for (const char* good : {"1001", "A-17", "x_2", "12345678901234567890123456789012"}) {
        EXPECT_TRUE(isValidOrderNumber(good)) << good;
    }
    for (const char* bad : {"", "..", "../1001", "1001/..", "a/b", "-1", "_x", ".hidden", "10 01",
                            "1001\n", "123456789012345678901234567890123", "caf\xc3\xa9"}) {
        EXPECT_FALSE(isValidOrderNumber(bad)) << bad;
    }
}

TEST(ValidationTest, LocationsAndBatchIndexesAreExact) {
    EXPECT_EQ(parseLocation("0"), Location::Before);
    EXPECT_EQ(parseLocation("1"), Location::After);
    for (const char* bad : {"2", "", "00", " 1", "1 ", "-0", "before"}) {
        EXPECT_FALSE(parseLocation(bad)) << bad;
    }
    EXPECT_EQ(parseBatchIndex("0"), 0u);
    EXPECT_EQ(parseBatchIndex("99999"), 99999u);
    for (const char* bad : {"", "-1", "+1", "01", "1e3", "100000", "../1", "4294967297"}) {
        EXPECT_FALSE(parseBatchIndex(bad)) << bad;
    }
}

TEST(UrlEncodedFormTest, DecodesEscapesAndRefusesAmbiguity) {
    auto form = decodeUrlEncodedForm("username=ana&password=p%40ss+word%2C&order=");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->at("username"), "ana");
    EXPECT_EQ(form->at("password"), "p@ss word,");
    EXPECT_EQ(form->at("order"), "");
    EXPECT_FALSE(decodeUrlEncodedForm("a=1&a=2"));
    EXPECT_FALSE(decodeUrlEncodedForm("a=%4"));
    EXPECT_FALSE(decodeUrlEncodedForm("a=%zz"));
    EXPECT_TRUE(decodeUrlEncodedForm("")->empty());
}

}  // namespace
}  // namespace orderd
