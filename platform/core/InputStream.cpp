#include "platform/core/InputStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace core {

namespace {

class DataInputStream final : public InputStream {
public:
    explicit DataInputStream(Bytes bytes) : bytes_(std::move(bytes)) {}

    void open() override {
        if (streamStatus() == StreamStatus::NotOpen) {
            setStreamStatus(bytes_.empty() ? StreamStatus::AtEnd : StreamStatus::Open);
        }
    }

    void close() override { setStreamStatus(StreamStatus::Closed); }

    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) override {
        if (streamStatus() == StreamStatus::AtEnd) {
            return 0;
        }
        if (streamStatus() != StreamStatus::Open) {
            return -1;
        }
        std::size_t count = std::min(maxLength, bytes_.size() - offset_);
        if (count > 0) {
            std::memcpy(buffer, bytes_.data() + offset_, count);
        }
        offset_ += count;
        if (offset_ == bytes_.size()) {
            setStreamStatus(StreamStatus::AtEnd);
        }
        return static_cast<std::ptrdiff_t>(count);
    }

    bool hasBytesAvailable() const override { return streamStatus() == StreamStatus::Open; }

    std::string description() const override {
        return "<InputStream over " + std::to_string(bytes_.size()) + " bytes>";
    }

private:
    Bytes bytes_;
    std::size_t offset_ = 0;
};

class FileInputStream final : public InputStream {
public:
    explicit FileInputStream(std::string path) : path_(std::move(path)) {}
    ~FileInputStream() override { closeDescriptor(); }

    void open() override;
    void close() override;
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength) override;
    bool hasBytesAvailable() const override { return streamStatus() == StreamStatus::Open; }
    std::string description() const override { return "<InputStream over file " + path_ + ">"; }

private:
    void fail(int code, const char* action);
    void closeDescriptor();

    std::string path_;
    int fd_ = -1;
    std::uint64_t remaining_ = 0;  // bytes left of the file as it was when opened
};

void FileInputStream::open() {
    if (streamStatus() != StreamStatus::NotOpen) {
        return;
    }
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        fail(errno, "Cannot open");
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        fail(errno, "Cannot open");
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        fail(EISDIR, "Cannot open");
        return;
    }
    remaining_ = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : UINT64_MAX;
    setStreamStatus(remaining_ == 0 ? StreamStatus::AtEnd : StreamStatus::Open);
}

void FileInputStream::close() {
    closeDescriptor();
    if (streamStatus() != StreamStatus::Error) {
        setStreamStatus(StreamStatus::Closed);
    }
}

std::ptrdiff_t FileInputStream::read(std::uint8_t* buffer, std::size_t maxLength) {
    if (streamStatus() == StreamStatus::AtEnd) {
        return 0;
    }
    if (streamStatus() != StreamStatus::Open) {
        return -1;
    }
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(maxLength, remaining_));
    ssize_t count;
    do {
        count = ::read(fd_, buffer, wanted);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        fail(errno, "Cannot read");
        return -1;
    }
    if (remaining_ != UINT64_MAX) {
        remaining_ -= static_cast<std::uint64_t>(count);
    }
    // A file that shrank since open ends early; one that grew is read as it was.
    if (remaining_ == 0 || (count == 0 && wanted > 0)) {
        setStreamStatus(StreamStatus::AtEnd);
    }
    return count;
}

void FileInputStream::fail(int code, const char* action) {
    Error error = Error::posix(code, std::string(action) + " " + path_);
    error.set(FilePathErrorKey, Value(path_));
    closeDescriptor();
    failWith(std::move(error));
}

void FileInputStream::closeDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace

std::shared_ptr<InputStream> InputStream::inputStreamWithData(Bytes bytes) {
    return std::make_shared<DataInputStream>(std::move(bytes));
}

std::shared_ptr<InputStream> InputStream::inputStreamWithFileAtPath(std::string path) {
    return std::make_shared<FileInputStream>(std::move(path));
}

}  // namespace core
