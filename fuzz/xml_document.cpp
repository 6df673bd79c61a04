// XML answers are untrusted. Every input either parses with balanced element events or
// fails with an error and a failure event; events never arrive after a failure.
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "net/operations/XMLParser.h"

namespace {

class Recorder : public net::XMLParserDelegate {
public:
    void parserDidStartDocument(net::XMLParser&) override { ++documentStarts; }
    void parserDidEndDocument(net::XMLParser&) override { ++documentEnds; }
    void didStartElement(net::XMLParser&, const std::string& name, const Attributes&) override {
        fuzz::check(failures == 0, "no element after a failure");
        fuzz::check(!name.empty(), "an element has a name");
        open.push_back(name);
    }
    void didEndElement(net::XMLParser&, const std::string& name) override {
        fuzz::check(failures == 0, "no element end after a failure");
        fuzz::check(!open.empty() && open.back() == name, "an element ends where it started");
        open.pop_back();
        ++elements;
    }
    void parseErrorOccurred(net::XMLParser&, const core::Error&) override { ++failures; }

    std::vector<std::string> open;
    int elements = 0;
    int documentStarts = 0;
    int documentEnds = 0;
    int failures = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::make_shared<const core::Bytes>(data, data + size);
    net::XMLParser parser(bytes);
    auto recorder = std::make_shared<Recorder>();
    parser.setDelegate(recorder);
    const bool parsed = parser.parse();
    fuzz::check(parsed == (parser.parserError() == nullptr), "a result agrees with its error");
    if (parsed) {
        fuzz::check(recorder->open.empty(), "a parsed document closes every element");
        fuzz::check(recorder->elements > 0, "a parsed document has a root element");
        fuzz::check(recorder->failures == 0, "no failure event on success");
        fuzz::check(recorder->documentEnds == 1, "a parsed document ends once");
    } else {
        fuzz::check(recorder->failures <= 1, "a failure is reported at most once");
        fuzz::check(recorder->documentEnds == 0, "a failed document does not end");
    }
    fuzz::check(parser.parse() == parsed, "a second parse answers the same");
    return 0;
}
