// URL parsing and resolution: whatever is accepted is made only of URL characters, parses
// again to itself, and resolving against it yields an absolute URL or nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzCheck.h"
#include "platform/url/URL.h"

namespace {

void checkParsed(const url::URL& parsed) {
    fuzz::check(url::hasOnlyURLCharacters(parsed.absoluteString()),
                "an accepted URL holds only URL characters");
    fuzz::check(!parsed.scheme().empty(), "an accepted URL has a scheme");
    const auto again = url::URL::create(parsed.absoluteString());
    fuzz::check(again.has_value(), "an accepted URL parses again");
    fuzz::check(*again == parsed, "parsing an accepted URL again changes nothing");
    fuzz::check(again->host() == parsed.host() && again->path() == parsed.path() &&
                    again->port() == parsed.port() && again->query() == parsed.query(),
                "the parts of a URL parsed again are the same");
    const int port = parsed.effectivePort();
    fuzz::check(port >= 0 && port <= 65535, "the port to connect to is a TCP port");
    (void)parsed.lastPathComponent();
    (void)parsed.pathExtension();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string baseText = input.ConsumeRandomLengthString(128);
    const std::string relative = input.ConsumeRemainingBytesAsString();
    const auto base = url::URL::create(baseText);
    if (base) {
        checkParsed(*base);
        if (const auto resolved = url::URL::create(relative, *base)) {
            checkParsed(*resolved);
        }
    } else if (const auto service = url::URL::create("http://127.0.0.1:8080/ipad/")) {
        if (const auto resolved = url::URL::create(baseText, *service)) {
            checkParsed(*resolved);
        }
    }
    return 0;
}
