#pragma once

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/client/HTTPBodyPart.h"
#include "platform/core/Bytes.h"
#include "platform/core/InputStream.h"

namespace net::testing {

// The whole body, read with capacities taken in turn from `capacities` (the last repeats);
// the read counts go to *counts when given. Stops at the first read of 0 or -1.
inline core::Bytes readBody(core::InputStream& stream, std::vector<std::size_t> capacities,
                            std::vector<std::ptrdiff_t>* counts = nullptr) {
    core::Bytes body;
    for (std::size_t turn = 0; turn < 100000; ++turn) {
        std::size_t capacity = capacities[std::min(turn, capacities.size() - 1)];
        std::vector<std::uint8_t> buffer(capacity);
        std::ptrdiff_t count = stream.read(buffer.data(), capacity);
        if (counts != nullptr) {
            counts->push_back(count);
        }
        if (count <= 0) {
            break;
        }
        body.insert(body.end(), buffer.begin(), buffer.begin() + count);
    }
    return body;
}

// A source that delivers `good` bytes of 'x', then fails as a broken disk would.
class FailingSource : public core::InputStream {
public:
    explicit FailingSource(std::size_t good) : left_(good) {}
    void open() override { setStreamStatus(core::StreamStatus::Open); }
    void close() override { setStreamStatus(core::StreamStatus::Closed); }
    bool hasBytesAvailable() const override { return streamStatus() == core::StreamStatus::Open; }
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (left_ == 0) {
            failWith(core::Error::posix(EIO, "Cannot read the camera roll"));
            return -1;
        }
        std::size_t count = std::min(left_, maxLength);
        std::fill_n(buffer, count, 'x');
        left_ -= count;
        return static_cast<std::ptrdiff_t>(count);
    }

private:
    std::size_t left_;
};

// Framing written out independently of the stream, for comparing whole bodies.
struct ExpectedPart {
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

inline std::string frame(const std::vector<ExpectedPart>& parts) {
    const std::string boundary(MultipartBoundaryString);
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i == 0 ? "--" : "\r\n--") + boundary + "\r\n";
        for (const auto& [name, value] : parts[i].headers) {
            out += name + ": " + value + "\r\n";
        }
        out += "\r\n" + parts[i].body;
    }
    return parts.empty() ? out : out + "\r\n--" + boundary + "--\r\n";
}

// A scratch directory removed at the end of the test.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "multipart-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDirectory() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const std::string& contents) const {
        std::ofstream(path_ / name, std::ios::binary) << contents;
        return (path_ / name).string();
    }

private:
    std::filesystem::path path_;
};

inline std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Writes NAME.body and NAME.expect for tests/net/multipart_check.py. `names` gives, per part,
// Content-Disposition parameters and the values they must decode to.
inline void writeCheckCase(
    const ScratchDirectory& directory, const std::string& name, const std::string& body,
    const std::vector<ExpectedPart>& parts,
    const std::vector<std::vector<std::pair<std::string, std::string>>>& names = {}) {
    static const std::vector<std::pair<std::string, std::string>> none;
    std::string expect;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        expect += "part\n";
        for (const auto& [headerName, value] : parts[i].headers) {
            expect += "h " + hex(headerName) + " " + hex(value) + "\n";
        }
        expect += "b " + hex(parts[i].body) + "\n";
        for (const auto& [key, value] : i < names.size() ? names[i] : none) {
            expect += "p " + hex(key) + " " + hex(value) + "\n";
        }
    }
    directory.write(name + ".body", body);
    directory.write(name + ".expect", expect);
}

// Runs Python's email parser over the cases; its report, and whether every case matched.
inline std::pair<bool, std::string> checkWithEmailParser(const ScratchDirectory& directory) {
    auto script = std::filesystem::path(__FILE__).parent_path() / "multipart_check.py";
    std::string command = "python3 '" + script.string() + "' '" + directory.path().string() +
                          "' '" + std::string(MultipartBoundaryString) + "' 2>&1";
    std::string report;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {false, "cannot run " + command};
    }
    std::array<char, 4096> chunk{};
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) {
        report.append(chunk.data(), n);
    }
    return {::pclose(pipe) == 0, report};
}

}  // namespace net::testing
