// Response handling on hostile headers: status, Content-Type with its charset, Content-Length
// and Content-Disposition are read without trusting them, and a body is decoded in whatever
// charset the answer names.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/core/StringEncoding.h"
#include "platform/url/HTTPURLResponse.h"

namespace {

const char* const kFieldNames[] = {"Content-Type", "Content-Length", "Content-Disposition",
                                   "content-type", "Content-Range",  "ETag"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int status = input.ConsumeIntegral<int>();
    url::HTTPHeaderFields fields;
    for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
        const std::string name = input.ConsumeBool()
                                     ? kFieldNames[input.ConsumeIntegralInRange(0, 5)]
                                     : input.ConsumeRandomLengthString(16);
        fields.add(name, input.ConsumeRandomLengthString(96));
    }
    const auto where = url::URL::create("http://127.0.0.1:8080/ipad/stock/" +
                                        std::to_string(input.ConsumeIntegral<std::uint16_t>()));
    fuzz::check(where.has_value(), "the fixed URL parses");
    const url::HTTPURLResponse response(*where, status, fields);
    fuzz::check(response.statusCode() == status, "the status is kept");
    fuzz::check(response.expectedContentLength() >= -1, "a length is known or -1");
    const std::string fileName = response.suggestedFilename();
    fuzz::check(!fileName.empty(), "there is always a file name to suggest");
    fuzz::check(fileName.find('/') == std::string::npos,
                "a suggested file name never leaves its directory");
    (void)url::HTTPURLResponse::localizedStringForStatusCode(status);
    (void)response.description();

    const std::string body = input.ConsumeRemainingBytesAsString();
    if (const auto& charset = response.textEncodingName()) {
        if (const auto encoding = core::encodingForIANACharsetName(*charset)) {
            const auto text = core::decodeString(reinterpret_cast<const std::uint8_t*>(body.data()),
                                                 body.size(), *encoding);
            if (text) {
                const auto bytes = core::encodeString(*text, core::StringEncoding::UTF8);
                fuzz::check(bytes.has_value(), "decoded text is valid UTF-8");
            }
        }
    }
    return 0;
}
