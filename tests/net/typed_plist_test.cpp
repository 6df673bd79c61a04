#include <gtest/gtest.h>

#include "net/NetworkingErrors.h"
#include "net/operations/PropertyListRequestOperation.h"
#include "net/operations/ResponseParseError.h"
#include "tests/net/NetTesting.h"
#include "tests/net/PropertyListTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;
using PropertyList = PropertyListRequestOperation::PropertyList;

constexpr const char* kXML = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>name</key><string>Jo</string><key>ids</key>
<array><integer>7</integer><integer>-3</integer></array><key>ok</key><true/></dict></plist>)";

const core::Value kExpected(core::Value::Map{
    {"name", "Jo"}, {"ids", core::Value::List{7, -3}}, {"ok", true}});

using Outcome = testing::TypedOutcome<PropertyList>;

class PropertyListOperationTest : public ::testing::Test {
protected:
    void serve(const std::string& path, int status, std::string body) {
        server_.route(path, [status, body](const auto&) {
            return ScriptedResponse::text(status, body, "application/x-plist");
        });
    }
    std::shared_ptr<PropertyListRequestOperation> run(const std::string& path, Outcome& outcome) {
        auto operation = PropertyListRequestOperation::propertyListRequestOperationWithRequest(
            testing::requestFor(server_.url(path)), outcome.success(), outcome.failure());
        operation->start();
        EXPECT_TRUE(outcome.wait());
        return operation;
    }

    LoopbackServer server_;
};

TEST_F(PropertyListOperationTest, XMLAndBinaryBodiesGiveTheSameTree) {
    serve("/a.plist", 200, kXML);
    serve("/b.plist", 200, testing::binaryPropertyListOf(kXML));
    for (const auto& [path, format] : {std::pair{"/a.plist", PropertyListFormat::XML},
                                       std::pair{"/b.plist", PropertyListFormat::Binary}}) {
        Outcome outcome;
        auto operation = run(path, outcome);
        ASSERT_TRUE(outcome.succeeded) << path;
        EXPECT_EQ(*outcome.parsed, kExpected) << path;
        EXPECT_EQ(operation->propertyListFormat(), format) << path;
    }
}

TEST_F(PropertyListOperationTest, BrokenBodiesFailWithAParseError) {
    std::string truncated = testing::binaryPropertyListOf(kXML);
    truncated.resize(truncated.size() - 12);  // the trailer's offsets now point outside
    serve("/truncated.plist", 200, "bplist00" + truncated.substr(8));
    serve("/text.plist", 200, "<plist><dict><key>x</key>");
    for (const std::string path : {"/truncated.plist", "/text.plist"}) {
        Outcome outcome;
        auto operation = run(path, outcome);
        ASSERT_TRUE(outcome.failed) << path;
        EXPECT_EQ(outcome.error->domain(), ResponseParseErrorDomain) << path;
        EXPECT_EQ(outcome.parsed, nullptr);
        EXPECT_EQ(operation->error(), operation->propertyListError());
    }
}

// libplist's XML reader cut a string at a raw NUL and then asserted on it, ending the process.
TEST(PropertyListParseTest, XMLHoldingANulIsRefused) {
    using namespace std::string_literals;
    for (const auto& body : {"<plist><string>a\0b</string></plist>"s,
                             "<plist><array><string><![CDATA[\0]]></string></array></plist>"s}) {
        PropertyListFormat format = PropertyListFormat::XML;
        std::shared_ptr<const core::Error> error;
        parsePropertyList(core::bytesFromString(body), format, error);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), ResponseParseErrorDomain);
        EXPECT_NE(error->localizedDescription().find("NUL"), std::string::npos)
            << error->localizedDescription();
        EXPECT_EQ(format, PropertyListFormat::Unknown);
    }
}

// A binary list whose one dictionary key is the two bytes `key`: libplist reads keys as C
// strings and aborted the process on one holding a NUL. An empty body is refused too.
TEST(PropertyListParseTest, ABinaryKeyHoldingANulAndAnEmptyBodyAreRefused) {
    using namespace std::string_literals;
    auto withKey = [](const std::string& key) {
        std::string list = "bplist00"s + "\xD1\x01\x02"s + "\x52"s + key + "\x10\x01"s +
                           "\x08\x0B\x0E"s + std::string(6, '\0') + "\x01\x01"s;
        for (std::uint64_t field : {3u, 0u, 16u}) {  // objects, top object, offset table
            for (int shift = 56; shift >= 0; shift -= 8) {
                list += static_cast<char>((field >> shift) & 0xFF);
            }
        }
        return core::bytesFromString(list);
    };
    PropertyListFormat format = PropertyListFormat::Unknown;
    std::shared_ptr<const core::Error> error;
    auto clean = parsePropertyList(withKey("ab"), format, error);
    ASSERT_EQ(error, nullptr);
    ASSERT_TRUE(clean.isMap());
    EXPECT_TRUE(clean.asMap()->contains("ab"));
    for (const auto& body : {withKey("a\0"s), core::Bytes{}}) {
        parsePropertyList(body, format, error);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), ResponseParseErrorDomain);
        EXPECT_EQ(format, PropertyListFormat::Unknown);
    }
}

TEST_F(PropertyListOperationTest, AServerErrorPassesTheHTTPErrorAndTheParsedBody) {
    serve("/down", 503, kXML);
    Outcome outcome;
    run("/down", outcome);
    ASSERT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.error->domain(), NetworkingErrorDomain);
    ASSERT_NE(outcome.parsed, nullptr);
    EXPECT_EQ(*outcome.parsed, kExpected);
}

TEST(PropertyListOperationClassTest, ClaimsPlistPaths) {
    const auto& plist = PropertyListRequestOperation::staticClass();
    EXPECT_TRUE(plist.canProcessRequest(testing::requestFor("http://h.test/x.plist")));
    EXPECT_FALSE(plist.canProcessRequest(testing::requestFor("http://h.test/x.json")));
    EXPECT_EQ(plist.acceptableContentTypes(), OperationClass::ContentTypes{"application/x-plist"});
}

}  // namespace
}  // namespace net
