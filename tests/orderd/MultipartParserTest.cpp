#include "orderd/MultipartParser.h"

#include <gtest/gtest.h>

#include <vector>

namespace orderd {
namespace {

struct Part {
    PartInfo info;
    std::string data;
    bool ended = false;
};

class Recorder : public MultipartListener {
public:
    Status partBegan(const PartInfo& info) override {
        parts.push_back({info, "", false});
        return {};
    }
    Status partData(std::string_view bytes) override {
        parts.back().data.append(bytes);
        return {};
    }
    Status partEnded() override {
        parts.back().ended = true;
        return {};
    }
    std::vector<Part> parts;
};

const std::string kBoundary = "Boundary+0xAbCdEfGbOuNdArY";

// Two parts exactly as the app frames them: a field, then a four-byte JPEG.
const std::string kAppBody =
    "--Boundary+0xAbCdEfGbOuNdArY\r\n"
    "Content-Disposition: form-data; name=\"order\"\r\n"
    "\r\n"
    "1234"
    "\r\n--Boundary+0xAbCdEfGbOuNdArY\r\n"
    "Content-Disposition: form-data; name=\"file\"; filename=\"temp.jpeg\"\r\n"
    "Content-Type: image/jpeg\r\n"
    "\r\n"
    "\xFF\xD8\xFF\xD9"
    "\r\n--Boundary+0xAbCdEfGbOuNdArY--\r\n";

Status feedInChunks(MultipartParser& parser, const std::string& body, std::size_t chunk) {
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        if (auto status = parser.feed(std::string_view(body).substr(at, chunk)); !status.ok()) {
            return status;
        }
    }
    return {};
}

TEST(MultipartParserTest, ParsesTheAppsFramingWhateverTheChunking) {
    ASSERT_EQ(kAppBody.size(), 247u);
    for (std::size_t chunk : {1u, 2u, 3u, 29u, 30u, 31u, 100u, 247u}) {
        Recorder recorder;
        MultipartParser parser(kBoundary, recorder);
        ASSERT_TRUE(feedInChunks(parser, kAppBody, chunk).ok()) << chunk;
        EXPECT_TRUE(parser.isComplete()) << chunk;
        ASSERT_EQ(recorder.parts.size(), 2u) << chunk;
        EXPECT_EQ(recorder.parts[0].info.name, "order");
        EXPECT_FALSE(recorder.parts[0].info.fileName.has_value());
        EXPECT_EQ(recorder.parts[0].data, "1234");
        EXPECT_EQ(recorder.parts[1].info.name, "file");
        EXPECT_EQ(recorder.parts[1].info.fileName, "temp.jpeg");
        EXPECT_EQ(recorder.parts[1].info.contentType, "image/jpeg");
        EXPECT_EQ(recorder.parts[1].data, "\xFF\xD8\xFF\xD9");
        EXPECT_TRUE(recorder.parts[1].ended);
    }
}

TEST(MultipartParserTest, DataThatAlmostMatchesTheDelimiterIsKept) {
    std::string tricky = "a\r\n--Boundary+0xAbCdEfGbOuNdArX\r\n--Boundary+0xAbCdEfGbOuNdAr";
    std::string body = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n" +
                       tricky + "\r\n--" + kBoundary + "--";
    for (std::size_t chunk : {1u, 5u, 1000u}) {
        Recorder recorder;
        MultipartParser parser(kBoundary, recorder);
        ASSERT_TRUE(feedInChunks(parser, body, chunk).ok());
        EXPECT_TRUE(parser.isComplete());
        ASSERT_EQ(recorder.parts.size(), 1u);
        EXPECT_EQ(recorder.parts[0].data, tricky);
    }
}

// A header block exactly at its limit passes, one byte over fails, however the body is cut:
// the "\r" of the closing empty line must not count against the block.
TEST(MultipartParserTest, TheHeaderLimitHoldsAtItsEdgeWhateverTheChunking) {
    const std::string line = "Content-Disposition: form-data; name=\"a\"";
    MultipartParser::Limits limits;
    for (const std::size_t over : {0u, 1u}) {
        limits.maxHeaderBlock = line.size() + 2 - over;
        const std::string body =
            "--" + kBoundary + "\r\n" + line + "\r\n\r\nx\r\n--" + kBoundary + "--";
        for (const std::size_t chunk : std::vector<std::size_t>{1, 2, 3, body.size()}) {
            Recorder recorder;
            MultipartParser parser(kBoundary, recorder, limits);
            EXPECT_EQ(feedInChunks(parser, body, chunk).ok(), over == 0) << chunk;
            EXPECT_EQ(parser.isComplete(), over == 0) << chunk;
        }
    }
}

TEST(MultipartParserTest, ABodyCutShortIsNeverComplete) {
    for (std::size_t length = 0; length + 2 < kAppBody.size(); ++length) {
        Recorder recorder;
        MultipartParser parser(kBoundary, recorder);
        parser.feed(std::string_view(kAppBody).substr(0, length));
        EXPECT_FALSE(parser.isComplete()) << "cut at " << length;
    }
}

TEST(MultipartParserTest, MalformedBodiesFailAndStayFailed) {
    std::string head = "--" + kBoundary + "\r\n";
    std::string bad[] = {
        head + "Content-Disposition: form-data; name=\"a\"\r\n\r\nx\r\n--" + kBoundary + "junk",
        head + "no colon here\r\n\r\nx",
        head + "Content-Type: text/plain\r\n\r\nx",  // no field name
        head + "Content-Disposition: attachment; name=\"a\"\r\n\r\n",
        head + "X-Long: " + std::string(9000, 'h') + "\r\n\r\n",
        std::string(2000, 'p'),  // never finds a boundary
    };
    for (const auto& body : bad) {
        Recorder recorder;
        MultipartParser parser(kBoundary, recorder);
        EXPECT_FALSE(parser.feed(body).ok()) << body.substr(0, 60);
        EXPECT_FALSE(parser.feed(kAppBody).ok());
        EXPECT_FALSE(parser.isComplete());
    }
    std::string many;
    for (int i = 0; i < 17; ++i) {
        many += head + "Content-Disposition: form-data; name=\"f" + std::to_string(i) +
                "\"\r\n\r\nv\r\n";
    }
    Recorder recorder;
    MultipartParser parser(kBoundary, recorder);
    EXPECT_FALSE(parser.feed(many).ok());
}

TEST(MultipartParserTest, ListenerErrorsStopTheParse) {
    struct Refuser : Recorder {
        Status partData(std::string_view) override { return Error{"disk full"}; }
    } refuser;
    MultipartParser parser(kBoundary, refuser);
    auto status = parser.feed(kAppBody);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().message, "disk full");
    EXPECT_FALSE(parser.isComplete());
}

TEST(MultipartParserTest, BoundaryIsTakenFromTheContentType) {
    EXPECT_EQ(MultipartParser::boundaryFromContentType(
                  "multipart/form-data; boundary=Boundary+0xAbCdEfGbOuNdArY"),
              kBoundary);
    EXPECT_EQ(MultipartParser::boundaryFromContentType("Multipart/Form-Data;boundary=\"a b\""),
              "a b");
    EXPECT_FALSE(MultipartParser::boundaryFromContentType("multipart/form-data"));
    EXPECT_FALSE(MultipartParser::boundaryFromContentType("multipart/form-data; boundary="));
    EXPECT_FALSE(MultipartParser::boundaryFromContentType("text/plain; boundary=abc"));
}

}  // namespace
}  // namespace orderd
