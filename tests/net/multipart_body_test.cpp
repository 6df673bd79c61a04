#include <gtest/gtest.h>

#include <random>

#include "net/NetworkingErrors.h"
#include "net/client/HTTPClient.h"
#include "net/client/MultipartFormData.h"
#include "tests/net/MultipartTesting.h"

namespace {

using net::StreamingMultipartFormData;
using net::testing::ExpectedPart;
using net::testing::readBody;
using net::testing::ScratchDirectory;

const std::string kWorkedExample =
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

url::URLRequest uploadRequest() {
    return url::URLRequest(url::URL::create("http://127.0.0.1/ipad/uploadPicPhotos.php?order=0"));
}

// Finalizes the builder and opens its body; the finished request goes to *request when given.
std::shared_ptr<net::MultipartBodyStream> openedBody(StreamingMultipartFormData& builder,
                                                     url::MutableURLRequest* request = nullptr) {
    auto finished = builder.requestByFinalizingMultipartFormData();
    if (request != nullptr) {
        *request = finished;
    }
    auto stream = builder.bodyStream();
    stream->open();
    return stream;
}

std::shared_ptr<net::MultipartBodyStream> workedExampleStream(url::MutableURLRequest* request) {
    StreamingMultipartFormData builder(uploadRequest());
    builder.appendPartWithFormData(core::bytesFromString("1234"), "order");
    builder.appendPartWithFileData({0xFF, 0xD8, 0xFF, 0xD9}, "file", "temp.jpeg", "image/jpeg");
    return openedBody(builder, request);
}

std::string asString(const core::Bytes& bytes) {
    return core::stringFromBytes(bytes);
}

TEST(MultipartBody, WorkedExampleIsFramedByteForByte) {
    url::MutableURLRequest request;
    auto stream = workedExampleStream(&request);
    ASSERT_EQ(stream->HTTPBodyParts().size(), 2u);
    EXPECT_EQ(stream->HTTPBodyParts()[0]->contentLength(), 82u);
    EXPECT_EQ(stream->HTTPBodyParts()[1]->contentLength(), 165u);
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), "247");
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Type"),
              "multipart/form-data; boundary=Boundary+0xAbCdEfGbOuNdArY");
    EXPECT_EQ(request.httpBodyStream(), stream);
    EXPECT_EQ(asString(readBody(*stream, {1000})), kWorkedExample);
    EXPECT_EQ(asString(readBody(*workedExampleStream(nullptr), {1})), kWorkedExample);
}

TEST(MultipartBody, ReadsFillTheBufferAcrossPartsAndPhases) {
    std::vector<std::ptrdiff_t> counts;
    readBody(*workedExampleStream(nullptr), {100}, &counts);
    EXPECT_EQ(counts, (std::vector<std::ptrdiff_t>{100, 100, 47, 0}));

    counts.clear();
    EXPECT_EQ(asString(readBody(*workedExampleStream(nullptr), {240, 100}, &counts)),
              kWorkedExample);
    EXPECT_EQ(counts, (std::vector<std::ptrdiff_t>{240, 7, 0}));

    // A packet size stops a read after the part read that reached it.
    auto throttled = workedExampleStream(nullptr);
    throttled->setNumberOfBytesInPacket(10);
    counts.clear();
    EXPECT_EQ(asString(readBody(*throttled, {1000}, &counts)), kWorkedExample);
    EXPECT_EQ(counts, (std::vector<std::ptrdiff_t>{82, 165, 0}));
}

TEST(MultipartBody, ReadsNothingOutsideOpenAndSignalsTheEndOnlyByAZeroRead) {
    StreamingMultipartFormData builder(uploadRequest());
    builder.appendPartWithFormData(core::bytesFromString("1"), "a");
    builder.requestByFinalizingMultipartFormData();
    auto stream = builder.bodyStream();
    std::uint8_t buffer[256];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(stream->hasBytesAvailable());

    stream->open();
    EXPECT_EQ(stream->read(buffer, sizeof buffer),
              static_cast<std::ptrdiff_t>(stream->contentLength()));
    EXPECT_TRUE(stream->hasBytesAvailable());
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
    EXPECT_TRUE(stream->hasBytesAvailable());

    stream->close();
    EXPECT_FALSE(stream->hasBytesAvailable());
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
    // Opening again does not replay what was sent.
    stream->open();
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(stream->streamError());
}

// Random part sets, random read sizes: the bytes always add up to contentLength, and a parser
// nobody here wrote gets every part back exactly.
TEST(MultipartBody, RandomPartSetsParseBackExactlyWhateverTheReadSizes) {
    std::mt19937 random(20261206);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto randomText = [&](int length) {
        std::string text;
        for (int i = 0; i < length; ++i) {
            text += static_cast<char>(pick('!', '~'));
        }
        return text;
    };
    ScratchDirectory directory;
    for (int round = 0; round < 120; ++round) {
        StreamingMultipartFormData builder(uploadRequest());
        std::vector<ExpectedPart> parts(round % 7 == 0 ? 1 : pick(1, 12));
        for (auto& part : parts) {
            net::HTTPBodyPart::Headers headers;
            for (int h = pick(0, 3); h > 0; --h) {
                headers["X-Field-" + std::to_string(h)] = randomText(pick(1, 40));
            }
            part.headers.assign(headers.begin(), headers.end());
            for (int b = pick(0, 3) == 0 ? 0 : pick(1, 3000); b > 0; --b) {
                part.body += static_cast<char>(pick(0, 255));
            }
            if (pick(0, 2) == 0) {
                part.body += "x--" + std::string(net::MultipartBoundaryString) + "--\r\n";
            }
            builder.appendPartWithHeaders(headers, core::bytesFromString(part.body));
        }
        auto stream = openedBody(builder);
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 64; ++i) {
            sizes.push_back(pick(0, 3) == 0 ? pick(1, 8) : pick(1, 4096));
        }
        std::string body = asString(readBody(*stream, sizes));
        ASSERT_EQ(body.size(), stream->contentLength()) << "round " << round;
        ASSERT_EQ(body, net::testing::frame(parts)) << "round " << round;
        net::testing::writeCheckCase(directory, "case" + std::to_string(round), body, parts);
    }
    auto [matched, report] = net::testing::checkWithEmailParser(directory);
    EXPECT_TRUE(matched) << report;
}

TEST(MultipartFormData, FilePartIsReadFromDiskOnlyWhenSent) {
    ScratchDirectory directory;
    std::string path = directory.write("a.tar.gz", "first");
    StreamingMultipartFormData builder(uploadRequest());
    core::Error error("unset", 0);
    ASSERT_TRUE(builder.appendPartWithFileURL(url::URL::fileURL(path), "archive", &error));
    auto request = builder.requestByFinalizingMultipartFormData();
    directory.write("a.tar.gz", "later");  // same size, new contents

    std::string expected = net::testing::frame(
        {{{{"Content-Disposition", "form-data; name=\"archive\"; filename=\"a.tar\""},
           {"Content-Type", "application/octet-stream"}},
          "later"}});
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(expected.size()));
    auto stream = builder.bodyStream();
    stream->open();
    EXPECT_EQ(asString(readBody(*stream, {7})), expected);
}

TEST(MultipartFormData, FileURLFailuresAppendNothingAndSayWhy) {
    StreamingMultipartFormData builder(uploadRequest());
    core::Error error("unset", 0);
    EXPECT_FALSE(
        builder.appendPartWithFileURL(*url::URL::create("http://127.0.0.1/a.jpg"), "file", &error));
    EXPECT_EQ(error.domain(), net::NetworkingErrorDomain);
    EXPECT_EQ(error.code(), -1000);
    EXPECT_EQ(error.localizedFailureReason(), "Expected URL to be a file URL");

    EXPECT_FALSE(
        builder.appendPartWithFileURL(url::URL::fileURL("/nonexistent/photo.jpg"), "file", &error));
    EXPECT_EQ(error.code(), -1000);
    EXPECT_EQ(error.localizedFailureReason(), "File URL not reachable.");
    EXPECT_EQ(error.userInfo().size(), 1u);

    EXPECT_FALSE(builder.appendPartWithFileURL(url::URL::fileURL("/nonexistent"), "file"));
    EXPECT_TRUE(builder.bodyStream()->isEmpty());
}

// Names are the caller's data; whatever they hold, the header block keeps its lines and each
// name comes back whole from a parser that undoes the percent-encoding browsers use.
TEST(MultipartFormData, NamesCannotEndTheirQuotesOrAddHeaderLines) {
    const std::string field = "a\"; filename=\"evil.sh";
    const std::string file = "file\r\nX-Injected: 1";
    const std::string fileName = "c:\\dir\\we\"ird\r\n.jpg\\";
    StreamingMultipartFormData builder(uploadRequest());
    builder.appendPartWithFormData(core::bytesFromString("1"), field);
    ASSERT_TRUE(
        builder.appendPartWithFileData(core::bytesFromString("2"), file, fileName, "image/jpeg"));
    std::string body = asString(readBody(*openedBody(builder), {13}));

    std::vector<ExpectedPart> parts{
        {{{"Content-Disposition", "form-data; name=\"a%22; filename=%22evil.sh\""}}, "1"},
        {{{"Content-Disposition",
           "form-data; name=\"file%0D%0AX-Injected: 1\"; "
           "filename=\"c:%5Cdir%5Cwe%22ird%0D%0A.jpg%5C\""},
          {"Content-Type", "image/jpeg"}},
         "2"},
    };
    EXPECT_EQ(body, net::testing::frame(parts));
    ScratchDirectory directory;
    net::testing::writeCheckCase(directory, "names", body, parts,
                                 {{{"name", field}}, {{"name", file}, {"filename", fileName}}});
    auto [matched, report] = net::testing::checkWithEmailParser(directory);
    EXPECT_TRUE(matched) << report;
}

// A header the caller wrote is never rewritten: one that would break the header block is
// refused at once, and the body it was meant for fails rather than go out without it.
TEST(MultipartFormData, HeadersThatWouldBreakTheBlockAreRefusedAndSpoilTheBody) {
    StreamingMultipartFormData builder(uploadRequest());
    builder.appendPartWithFormData(core::bytesFromString("1234"), "order");
    core::Error error("unset", 0);
    EXPECT_FALSE(builder.appendPartWithFileData({0xFF}, "file", "a.jpg",
                                                "image/jpeg\r\nX-Injected: 1", &error));
    EXPECT_EQ(error.domain(), net::NetworkingErrorDomain);
    EXPECT_EQ(error.code(), -1000);
    EXPECT_EQ(error.localizedFailureReason(),
              "The value of header \"Content-Type\" holds a line break: "
              "\"image/jpeg\\r\\nX-Injected: 1\".");
    const std::vector<net::HTTPBodyPart::Headers> refused{
        {{"X-Note", "lone\nfeed"}},    {{"X-Note", "lone\rreturn"}},      {{"", "empty name"}},
        {{"X-A: b", "colon in name"}}, {{"X-A\r\nX-B", "break in name"}},
    };
    for (const auto& headers : refused) {
        EXPECT_FALSE(builder.appendPartWithHeaders(headers, {}, &error)) << headers.begin()->first;
        EXPECT_EQ(error.code(), -1000);
    }
    EXPECT_TRUE(builder.appendPartWithHeaders({{"X-Tab", "a\tb"}, {"X-Empty", ""}}, {}));
    EXPECT_EQ(builder.bodyStream()->HTTPBodyParts().size(), 2u);

    auto stream = openedBody(builder);
    std::uint8_t buffer[512];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), -1);
    ASSERT_TRUE(stream->streamError());
    EXPECT_EQ(stream->streamError()->code(), -1000);
    EXPECT_NE(stream->streamError()->localizedDescription().find("Content-Type"),
              std::string::npos);

    // A part made directly, past the builder's check, fails when its headers are due.
    auto direct = net::MultipartBodyStream::create();
    auto part = net::HTTPBodyPart::create();
    part->setHeaders({{"X-Note", "a\r\nX-Injected: 1"}});
    direct->appendHTTPBodyPart(part);
    direct->open();
    EXPECT_EQ(direct->read(buffer, sizeof buffer), -1);
    EXPECT_EQ(direct->streamError()->code(), -1000);
}

TEST(MultipartBodyFailures, SourcesThatBreakEndEarlyOrGrowFailTheRead) {
    auto readWithSource = [](std::shared_ptr<core::InputStream> source, std::uint64_t declared) {
        auto stream = net::MultipartBodyStream::create();
        auto part = net::HTTPBodyPart::create();
        part->setBodyContentLength(declared);
        part->setInputStream(std::move(source));
        stream->appendHTTPBodyPart(part);
        stream->open();
        std::vector<std::ptrdiff_t> counts;
        readBody(*stream, {64}, &counts);
        EXPECT_EQ(counts.back(), -1);
        EXPECT_FALSE(stream->hasBytesAvailable());
        return stream->streamError().value_or(core::Error("none", 0));
    };

    core::Error broken = readWithSource(std::make_shared<net::testing::FailingSource>(100), 500);
    EXPECT_EQ(broken.code(), -1000);
    ASSERT_TRUE(broken.underlyingError());
    EXPECT_EQ(broken.underlyingError()->domain(), core::POSIXErrorDomain);
    EXPECT_NE(broken.localizedDescription().find("Cannot read the camera roll"), std::string::npos);

    core::Error shortSource =
        readWithSource(core::InputStream::inputStreamWithData(core::Bytes(10, 'a')), 11);
    EXPECT_EQ(shortSource.localizedFailureReason(),
              "Its source ended after 10 of the 11 bytes announced for it.");

    ScratchDirectory directory;
    std::string path = directory.write("photo.jpg", "0123456789");
    for (const std::string& changed : {std::string("0123456789+"), std::string("01234")}) {
        StreamingMultipartFormData builder(uploadRequest());
        directory.write("photo.jpg", "0123456789");
        ASSERT_TRUE(builder.appendPartWithFileURL(url::URL::fileURL(path), "file"));
        builder.requestByFinalizingMultipartFormData();
        directory.write("photo.jpg", changed);
        auto stream = builder.bodyStream();
        stream->open();
        std::vector<std::ptrdiff_t> counts;
        readBody(*stream, {4}, &counts);
        EXPECT_EQ(counts.back(), -1) << changed;
        ASSERT_TRUE(stream->streamError()) << changed;
        EXPECT_EQ(stream->streamError()->code(), -1000);
        EXPECT_NE(stream->streamError()->localizedDescription().find(
                      changed.size() > 10 ? "more than the 10 bytes" : "ended after 5 of the 10"),
                  std::string::npos)
            << stream->streamError()->localizedDescription();
    }
}

TEST(MultipartRequest, ParametersBecomeTextPartsAheadOfTheBlocksParts) {
    auto client = net::HTTPClient::create(url::URL::create("http://127.0.0.1:8080"));
    core::Value::Map parameters{
        {"username", core::bytesFromString("jo \xFF raw")},
        {"order", 1234},
        {"tags", core::Value::List{"a", "b"}},
        {"empty", core::Value::Map{}},
    };
    bool blockRan = false;
    auto request = client->multipartFormRequest(
        "PUT", "/ipad/uploadPicPhotos.php?order=3", parameters, [&](net::MultipartFormData& form) {
            blockRan = true;
            form.appendPartWithFileData({0xFF, 0xD9}, "file", "temp.jpeg", "image/jpeg");
        });
    EXPECT_TRUE(blockRan);
    EXPECT_EQ(request.httpMethod(), "PUT");
    EXPECT_EQ(request.url()->absoluteString(),
              "http://127.0.0.1:8080/ipad/uploadPicPhotos.php?order=3");
    EXPECT_TRUE(request.valueForHTTPHeaderField("User-Agent"));
    auto field = [](const std::string& name, std::string body) {
        return ExpectedPart{{{"Content-Disposition", "form-data; name=\"" + name + "\""}},
                            std::move(body)};
    };
    std::string expected = net::testing::frame({
        field("username", "jo \xFF raw"),
        field("order", "1234"),
        field("tags[]", "a"),
        field("tags[]", "b"),
        {{{"Content-Disposition", "form-data; name=\"file\"; filename=\"temp.jpeg\""},
          {"Content-Type", "image/jpeg"}},
         "\xFF\xD9"},
    });
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(expected.size()));
    ASSERT_TRUE(request.httpBodyStream());
    request.httpBodyStream()->open();
    EXPECT_EQ(asString(readBody(*request.httpBodyStream(), {33})), expected);

    auto bare = client->multipartFormRequest("POST", "x", std::nullopt, nullptr);
    EXPECT_EQ(bare.url()->absoluteString(), "http://127.0.0.1:8080/x");
    EXPECT_FALSE(bare.valueForHTTPHeaderField("Content-Type"));
    EXPECT_FALSE(bare.valueForHTTPHeaderField("Content-Length"));
    EXPECT_FALSE(bare.httpBodyStream());
    EXPECT_FALSE(bare.httpBody());
}

}  // namespace
