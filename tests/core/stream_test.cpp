#include "platform/core/InputStream.h"
#include "platform/core/OutputStream.h"
#include "platform/core/RunLoop.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

using core::Bytes;
using core::FileWriteMode;
using core::InputStream;
using core::OutputStream;
using core::StreamStatus;

namespace {

class StreamFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "streamXXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    static void writeFile(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::string dir_;
};

Bytes patterned(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

// Reads until the stream reports its end, in slices of `chunk`; fails on an error.
Bytes drain(InputStream& stream, std::size_t chunk) {
    Bytes all;
    Bytes buffer(chunk);
    for (int guard = 0; guard < 1'000'000; ++guard) {
        std::ptrdiff_t count = stream.read(buffer.data(), buffer.size());
        EXPECT_GE(count, 0);
        if (count <= 0) {
            break;
        }
        all.insert(all.end(), buffer.begin(), buffer.begin() + count);
    }
    return all;
}

void write(OutputStream& stream, std::string_view text) {
    auto bytes = core::bytesFromString(text);
    ASSERT_EQ(stream.write(bytes.data(), bytes.size()), static_cast<std::ptrdiff_t>(bytes.size()));
}

}  // namespace

TEST_F(StreamFiles, FileInputTouchesTheFileOnlyWhenOpened) {
    auto stream = InputStream::inputStreamWithFileAtPath(path("later.bin"));
    writeFile(path("later.bin"), core::bytesFromString("made after the stream"));
    EXPECT_EQ(stream->streamStatus(), StreamStatus::NotOpen);
    EXPECT_FALSE(stream->hasBytesAvailable());
    stream->open();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Open);
    EXPECT_EQ(core::stringFromBytes(drain(*stream, 64)), "made after the stream");
}

TEST_F(StreamFiles, MissingFileFailsAtOpenWithAnErrorNamingIt) {
    auto stream = InputStream::inputStreamWithFileAtPath(path("missing.bin"));
    EXPECT_FALSE(stream->streamError().has_value());
    stream->open();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error);
    ASSERT_TRUE(stream->streamError().has_value());
    EXPECT_EQ(stream->streamError()->domain(), core::POSIXErrorDomain);
    EXPECT_EQ(stream->streamError()->code(), ENOENT);
    EXPECT_EQ(stream->streamError()->string(core::FilePathErrorKey), path("missing.bin"));
    EXPECT_NE(stream->streamError()->localizedDescription().find("missing.bin"), std::string::npos);
    std::uint8_t byte;
    EXPECT_EQ(stream->read(&byte, 1), -1);
    EXPECT_FALSE(stream->hasBytesAvailable());
}

TEST_F(StreamFiles, FileAndDataInputsDeliverTheSameBytesForEveryBufferSizeAndEmptyOnesEndAtOnce) {
    const Bytes content = patterned(10'007);
    writeFile(path("content.bin"), content);
    for (std::size_t chunk : {1u, 3u, 4096u, 10'007u, 65'536u}) {
        SCOPED_TRACE(chunk);
        for (auto stream : {InputStream::inputStreamWithFileAtPath(path("content.bin")),
                            InputStream::inputStreamWithData(content)}) {
            std::uint8_t byte;
            EXPECT_EQ(stream->read(&byte, 1), -1);  // not open yet
            stream->open();
            EXPECT_EQ(drain(*stream, chunk), content);
            EXPECT_EQ(stream->streamStatus(), StreamStatus::AtEnd);
            EXPECT_FALSE(stream->hasBytesAvailable());
            EXPECT_EQ(stream->read(&byte, 1), 0);
            stream->close();
            EXPECT_EQ(stream->streamStatus(), StreamStatus::Closed);
            EXPECT_EQ(stream->read(&byte, 1), -1);
        }
    }
    writeFile(path("empty.bin"), {});
    for (auto empty : {InputStream::inputStreamWithFileAtPath(path("empty.bin")),
                       InputStream::inputStreamWithData({})}) {
        empty->open();
        EXPECT_EQ(empty->streamStatus(), StreamStatus::AtEnd) << "an empty input ends at once";
        EXPECT_FALSE(empty->hasBytesAvailable());
    }
}

TEST(MemoryOutputStream, DataPropertyHoldsEverythingWrittenSoFar) {
    auto stream = OutputStream::outputStreamToMemory();
    std::uint8_t byte = 'x';
    EXPECT_EQ(stream->write(&byte, 1), -1);  // not open yet
    stream->open();
    EXPECT_TRUE(stream->hasSpaceAvailable());
    write(*stream, "chunk one, ");
    write(*stream, "chunk two");
    EXPECT_EQ(stream->property(core::StreamDataWrittenToMemoryStreamKey),
              core::Value(core::bytesFromString("chunk one, chunk two")));
    EXPECT_FALSE(stream->property(core::StreamFileCurrentOffsetKey).has_value());
    EXPECT_FALSE(stream->setProperty(core::StreamFileCurrentOffsetKey, core::Value(0)));
    stream->close();
    ASSERT_NE(stream->dataWrittenToMemory(), nullptr);
    EXPECT_EQ(core::stringFromBytes(*stream->dataWrittenToMemory()), "chunk one, chunk two");
}

TEST(MemoryOutputStream, AnnouncedLengthsAreReservedUpToACap) {
    auto stream = OutputStream::outputStreamToMemory();
    stream->open();
    write(*stream, "head");
    stream->reserveCapacity(1 << 20);
    const auto* data = stream->dataWrittenToMemory();
    ASSERT_GE(data->capacity(), 4u + (1 << 20));
    const auto* before = data->data();
    write(*stream, std::string(1 << 19, 'b'));
    EXPECT_EQ(stream->dataWrittenToMemory()->data(), before);  // no regrowth, no copy

    // A lying Content-Length reserves at most the cap (untouched pages cost nothing), and the
    // stream takes bytes as before.
    const std::size_t held = data->size();
    for (std::uint64_t absurd : {std::uint64_t{1} << 62, ~std::uint64_t{0}}) {
        stream->reserveCapacity(absurd);
        EXPECT_LE(data->capacity(), held + OutputStream::kLargestMemoryReservation);
    }
    write(*stream, "tail");
    EXPECT_EQ(stream->streamStatus(), core::StreamStatus::Open);
    EXPECT_EQ(stream->dataWrittenToMemory()->size(), 4u + (1 << 19) + 4u);
    EXPECT_EQ(core::stringFromBytes(core::Bytes(data->end() - 4, data->end())), "tail");
}

TEST_F(StreamFiles, FileOutputReportsItsOffsetAndHasNoMemoryData) {
    writeFile(path("out.bin"), core::bytesFromString("old content"));
    auto stream = OutputStream::outputStreamToFileAtPath(path("out.bin"), FileWriteMode::Truncate);
    EXPECT_FALSE(stream->fileCurrentOffset().has_value());
    stream->open();
    EXPECT_EQ(stream->fileCurrentOffset(), 0u);
    write(*stream, "12345");
    EXPECT_EQ(stream->property(core::StreamFileCurrentOffsetKey), core::Value(5));
    EXPECT_FALSE(stream->property(core::StreamDataWrittenToMemoryStreamKey).has_value());
    stream->close();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Closed);
    EXPECT_EQ(core::stringFromBytes(readFile(path("out.bin"))), "12345");
}

TEST_F(StreamFiles, AppendingStartsAtTheEndOfTheFileOrAtAnOffsetSetBeforeOpen) {
    writeFile(path("log.txt"), core::bytesFromString("first;"));
    auto stream = OutputStream::outputStreamToFileAtPath(path("log.txt"), FileWriteMode::Append);
    stream->open();
    EXPECT_EQ(stream->fileCurrentOffset(), 6u);
    write(*stream, "second");
    stream->close();
    EXPECT_EQ(core::stringFromBytes(readFile(path("log.txt"))), "first;second");

    auto resumed = OutputStream::outputStreamToFileAtPath(path("log.txt"), FileWriteMode::Append);
    ASSERT_TRUE(resumed->setFileCurrentOffset(4));
    EXPECT_EQ(resumed->fileCurrentOffset(), 4u);
    resumed->open();
    write(*resumed, "ab");
    resumed->close();
    EXPECT_EQ(core::stringFromBytes(readFile(path("log.txt"))), "firsab");
}

TEST_F(StreamFiles, SettingTheOffsetRewritesFromThereWithoutStaleBytes) {
    auto stream = OutputStream::outputStreamToFileAtPath(path("body.bin"), FileWriteMode::Append);
    stream->open();
    write(*stream, "a long first body");
    // Resuming keeps what is there; restarting from 0 must not leave the old tail behind.
    ASSERT_TRUE(stream->setProperty(core::StreamFileCurrentOffsetKey, core::Value(7)));
    write(*stream, "XY");
    EXPECT_EQ(core::stringFromBytes(readFile(path("body.bin"))), "a long XY");
    ASSERT_TRUE(stream->setFileCurrentOffset(0));
    write(*stream, "new");
    EXPECT_EQ(stream->fileCurrentOffset(), 3u);
    stream->close();
    EXPECT_EQ(core::stringFromBytes(readFile(path("body.bin"))), "new");
    EXPECT_FALSE(stream->setProperty(core::StreamFileCurrentOffsetKey, core::Value(-1)));
}

TEST(FileOutputStream, AFullDeviceIsReportedAsAnError) {
    auto stream = OutputStream::outputStreamToFileAtPath("/dev/full", FileWriteMode::Truncate);
    stream->open();
    ASSERT_EQ(stream->streamStatus(), StreamStatus::Open);
    Bytes bytes(100, 'x');
    EXPECT_EQ(stream->write(bytes.data(), bytes.size()), -1);
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error);
    ASSERT_TRUE(stream->streamError().has_value());
    EXPECT_EQ(stream->streamError()->code(), ENOSPC);
    EXPECT_FALSE(stream->hasSpaceAvailable());
    stream->close();  // the failure stays visible
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error);
}

TEST_F(StreamFiles, AShortWriteAtTheFileSizeLimitIsAnError) {
    const std::string target = path("limited.bin");
    auto child = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            std::_Exit(10);
        }
        auto stream = OutputStream::outputStreamToFileAtPath(target, FileWriteMode::Truncate);
        stream->open();
        Bytes bytes(150, 'x');
        bool failed = stream->write(bytes.data(), bytes.size()) == -1 &&
                      stream->streamStatus() == StreamStatus::Error && stream->streamError() &&
                      stream->streamError()->code() == EFBIG;
        std::_Exit(failed ? 0 : 11);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(target).size(), 100u);  // the part that fitted, reported as a failure
}
