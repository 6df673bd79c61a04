#include <gtest/gtest.h>

#include <vector>

#include "net/NetworkingErrors.h"
#include "net/operations/XMLParserRequestOperation.h"
#include "tests/net/NetTesting.h"
#include "tests/support/LoopbackServer.h"

namespace net {
namespace {

using test::LoopbackServer;
using test::ScriptedResponse;
using Parser = XMLParserRequestOperation::Parser;

class Recorder : public XMLParserDelegate {
public:
    std::vector<std::string> events;
    std::optional<core::Error> error;
    bool abortAtFirstElement = false;

    void didStartElement(XMLParser& parser, const std::string& name,
                         const Attributes& attributes) override {
        std::string event = "<" + name;
        for (const auto& [key, value] : attributes) {
            event += " " + key + "=" + value;
        }
        events.push_back(event + ">");
        if (abortAtFirstElement) {
            parser.abortParsing();
        }
    }
    void didEndElement(XMLParser&, const std::string& name) override {
        events.push_back("</" + name + ">");
    }
    void foundCharacters(XMLParser&, const std::string& text) override {
        if (!events.empty() && events.back().front() == '"') {
            events.back().insert(events.back().size() - 1, text);
        } else {
            events.push_back("\"" + text + "\"");
        }
    }
    void parseErrorOccurred(XMLParser&, const core::Error& failure) override { error = failure; }
};

std::vector<std::string> parseWith(XMLParser& parser, const std::shared_ptr<Recorder>& recorder) {
    parser.setDelegate(recorder);
    parser.parse();
    return recorder->events;
}

XMLParser parserOver(std::string_view text) {
    return XMLParser(std::make_shared<const core::Bytes>(core::bytesFromString(text)));
}

TEST(XMLParserTest, ReportsElementsAttributesAndTextInDocumentOrder) {
    auto parser = parserOver(R"(<order id="7"><item>Tile &amp; grout</item></order>)");
    auto recorder = std::make_shared<Recorder>();
    EXPECT_EQ(parseWith(parser, recorder),
              (std::vector<std::string>{"<order id=7>", "<item>", "\"Tile & grout\"", "</item>",
                                        "</order>"}));
    EXPECT_EQ(parser.parserError(), nullptr);
}

TEST(XMLParserTest, MalformedAbortedAndEntityLadenDocumentsFail) {
    {
        auto parser = parserOver("<a><b></a>");
        auto recorder = std::make_shared<Recorder>();
        parseWith(parser, recorder);
        ASSERT_NE(parser.parserError(), nullptr);
        EXPECT_TRUE(recorder->error.has_value());
        EXPECT_FALSE(parser.parse());  // the outcome is kept
    }
    {
        auto parser = parserOver("<a><b/><c/></a>");
        auto recorder = std::make_shared<Recorder>();
        recorder->abortAtFirstElement = true;
        EXPECT_EQ(parseWith(parser, recorder), std::vector<std::string>{"<a>"});
        ASSERT_NE(parser.parserError(), nullptr);
    }
    {
        // A document that would expand to a thousand copies of its text is refused.
        auto parser = parserOver(
            R"(<!DOCTYPE d [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
               <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]><d>&c;</d>)");
        auto recorder = std::make_shared<Recorder>();
        EXPECT_TRUE(parseWith(parser, recorder).empty());
        ASSERT_NE(parser.parserError(), nullptr);
    }
}

class XMLOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.route("/orders.xml", [](const auto&) {
            return ScriptedResponse::text(200, "<orders><o/></orders>", "text/xml");
        });
        server_.route("/gone", [](const auto&) {
            return ScriptedResponse::text(410, "<why>gone</why>", "application/xml");
        });
    }
    LoopbackServer server_;
};

TEST_F(XMLOperationTest, TheSuccessBlockGetsAnUnrunParserThatCancelLaterSilences) {
    testing::TypedOutcome<Parser> outcome;
    auto operation = XMLParserRequestOperation::XMLParserRequestOperationWithRequest(
        testing::requestFor(server_.url("/orders.xml")), outcome.success(), nullptr);
    operation->start();
    ASSERT_TRUE(outcome.wait());
    const Parser received = outcome.parsed;
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received, operation->responseXMLParser());
    auto recorder = std::make_shared<Recorder>();
    received->setDelegate(recorder);
    operation->cancel();
    EXPECT_EQ(received->delegate(), nullptr);
    EXPECT_TRUE(received->parse());
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(XMLOperationTest, AFailedAnswerStillOffersItsBodyToTheFailureBlock) {
    testing::TypedOutcome<Parser> outcome;
    auto operation = XMLParserRequestOperation::XMLParserRequestOperationWithRequest(
        testing::requestFor(server_.url("/gone")), nullptr, outcome.failure());
    operation->start();
    ASSERT_TRUE(outcome.wait());
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), NetworkingErrorDomain);
    ASSERT_NE(outcome.parsed, nullptr);
    auto recorder = std::make_shared<Recorder>();
    EXPECT_EQ(parseWith(*outcome.parsed, recorder),
              (std::vector<std::string>{"<why>", "\"gone\"", "</why>"}));
}

TEST(XMLOperationClassTest, ClaimsXMLPathsAndTypes) {
    const auto& xml = XMLParserRequestOperation::staticClass();
    EXPECT_TRUE(xml.canProcessRequest(testing::requestFor("http://h.test/feed.xml")));
    EXPECT_FALSE(xml.canProcessRequest(testing::requestFor("http://h.test/feed.plist")));
    EXPECT_EQ(xml.acceptableContentTypes(),
              (OperationClass::ContentTypes{"application/xml", "text/xml"}));
}

}  // namespace
}  // namespace net
