// The multipart body stream with random parts and random read sizes: the bytes always add up
// to the announced length, match framing written out independently, and the service's parser
// reads back exactly the parts that went in.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "net/client/MultipartFormData.h"
#include "orderd/MultipartParser.h"
#include "platform/core/Bytes.h"
#include "tests/net/MultipartTesting.h"

namespace {

struct Part {
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string name;
    std::optional<std::string> fileName;
    std::string contentType;
    std::string body;
};

// Field and file names the app sends are plain; quotes and line breaks are not escaped on the
// way out, so the round trip is checked on names without them.
std::string plainName(FuzzedDataProvider& input) {
    static constexpr std::string_view alphabet = "abcXYZ019_-.+ ";
    std::string name = "n";
    for (int n = input.ConsumeIntegralInRange(0, 12); n > 0; --n) {
        name += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1)];
    }
    return name;
}

std::string headerText(FuzzedDataProvider& input) {
    std::string text;
    for (int n = input.ConsumeIntegralInRange(1, 24); n > 0; --n) {
        text += static_cast<char>(input.ConsumeIntegralInRange<int>('!', '~'));
    }
    return text;
}

std::string framed(const std::vector<Part>& parts) {
    std::vector<net::testing::ExpectedPart> expected;
    for (const auto& part : parts) {
        expected.push_back({part.headers, part.body});
    }
    return net::testing::frame(expected);
}

class Collector : public orderd::MultipartListener {
public:
    orderd::Status partBegan(const orderd::PartInfo& info) override {
        parts.push_back({{}, info.name, info.fileName, info.contentType, {}});
        return {};
    }
    orderd::Status partData(std::string_view bytes) override {
        parts.back().body += bytes;
        return {};
    }
    orderd::Status partEnded() override { return {}; }
    std::vector<Part> parts;
};

std::string readAll(net::MultipartBodyStream& stream, FuzzedDataProvider& input) {
    std::string body;
    std::vector<std::uint8_t> buffer(4096);
    for (int turn = 0; turn < 100000; ++turn) {
        const auto capacity = input.ConsumeIntegralInRange<std::size_t>(1, buffer.size());
        const std::ptrdiff_t count = stream.read(buffer.data(), capacity);
        fuzz::check(count >= 0, "a body of in-memory parts never fails to read");
        fuzz::check(static_cast<std::size_t>(count) <= capacity, "a read stays in its buffer");
        if (count == 0) {
            break;
        }
        body.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(count));
    }
    return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool typedParts = input.ConsumeBool();
    net::StreamingMultipartFormData builder(
        url::URLRequest(*url::URL::create("http://127.0.0.1:8080/ipad/uploadPicPhotos.php")));
    std::vector<Part> parts(input.ConsumeIntegralInRange(1, 6));
    for (auto& part : parts) {
        part.body = input.ConsumeRandomLengthString(2048);
        if (!typedParts) {
            net::HTTPBodyPart::Headers headers;
            for (int h = input.ConsumeIntegralInRange(0, 3); h > 0; --h) {
                headers["X-" + plainName(input)] = headerText(input);
            }
            part.headers.assign(headers.begin(), headers.end());
            builder.appendPartWithHeaders(headers, core::bytesFromString(part.body));
        } else if (input.ConsumeBool()) {
            part.name = plainName(input);
            part.contentType = "text/plain";
            builder.appendPartWithFormData(core::bytesFromString(part.body), part.name);
        } else {
            part.name = plainName(input);
            part.fileName = plainName(input) + ".jpeg";
            part.contentType = "image/jpeg";
            builder.appendPartWithFileData(core::bytesFromString(part.body), part.name,
                                           *part.fileName, part.contentType);
        }
    }
    builder.requestByFinalizingMultipartFormData();
    auto stream = builder.bodyStream();
    stream->open();
    const std::string body = readAll(*stream, input);
    stream->close();
    fuzz::check(body.size() == stream->contentLength(), "the body is as long as announced");
    if (!typedParts) {
        fuzz::check(body == framed(parts), "the body is framed byte for byte");
        return 0;
    }
    const std::string delimiter = "\r\n--" + std::string(net::MultipartBoundaryString);
    for (const auto& part : parts) {
        if ((part.body + "\r\n").find(delimiter) != std::string::npos) {
            return 0;  // a fixed boundary cannot frame a body that contains it
        }
    }
    Collector collector;
    orderd::MultipartParser::Limits limits;
    limits.maxParts = parts.size();
    orderd::MultipartParser parser(std::string(net::MultipartBoundaryString), collector, limits);
    const auto status = parser.feed(body);
    fuzz::check(status.ok() && parser.isComplete(), "the service accepts every body sent");
    fuzz::check(collector.parts.size() == parts.size(), "the service sees every part");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Part& sent = parts[i];
        const Part& seen = collector.parts[i];
        fuzz::check(
            seen.name == sent.name && seen.fileName == sent.fileName && seen.body == sent.body,
            "every part arrives as sent");
    }
    return 0;
}
