#include "platform/core/OutputStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace core {

namespace {

// Large downloads land in memory the kernel has never handed out, and faulting it in 4 KiB
// at a time costs more than receiving the bytes; a buffer past this size asks for huge pages.
constexpr std::size_t kHugePageBufferBytes = std::size_t{32} << 20;

// The most reserved ahead for an announced length: a fraction of the machine's memory and
// never more than kLargestMemoryReservation, since the length comes from the network.
std::uint64_t largestReservation() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return OutputStream::kLargestMemoryReservation / 16;
    }
    const std::uint64_t quarter =
        static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4;
    return std::min(quarter, OutputStream::kLargestMemoryReservation);
}

class MemoryOutputStream final : public OutputStream {
public:
    void open() override {
        if (streamStatus() == StreamStatus::NotOpen) {
            setStreamStatus(StreamStatus::Open);
        }
    }

    void close() override { setStreamStatus(StreamStatus::Closed); }

    std::ptrdiff_t write(const std::uint8_t* buffer, std::size_t length) override {
        if (streamStatus() != StreamStatus::Open) {
            return -1;
        }
        if (length > 0) {
            const std::size_t capacity = data_.capacity();
            try {
                data_.insert(data_.end(), buffer, buffer + length);
            } catch (const std::exception&) {
                // A body larger than the memory left is an error of this download, not a
                // reason to end the process.
                failWith(Error::posix(ENOMEM, "Cannot keep the bytes in memory"));
                return -1;
            }
            if (data_.capacity() != capacity) {
                adviseHugePages();
            }
        }
        return static_cast<std::ptrdiff_t>(length);
    }

    bool hasSpaceAvailable() const override { return streamStatus() == StreamStatus::Open; }
    const Bytes* dataWrittenToMemory() const override { return &data_; }

    // Pages of the reservation are only touched as bytes arrive; an announced length past the
    // cap reserves the cap, and the buffer grows from there if the bytes keep coming.
    void reserveCapacity(std::uint64_t length) override {
        const std::uint64_t wanted = std::min(length, largestReservation());
        if (wanted <= data_.capacity() - data_.size()) {
            return;
        }
        try {
            data_.reserve(data_.size() + static_cast<std::size_t>(wanted));
        } catch (const std::exception&) {
            return;  // grown as the bytes arrive instead
        }
        adviseHugePages();
    }

    std::string description() const override {
        return "<OutputStream to memory, " + std::to_string(data_.size()) + " bytes>";
    }

private:
    // Only the whole pages inside the buffer; a failure just leaves the small pages.
    void adviseHugePages() const {
        if (data_.capacity() < kHugePageBufferBytes) {
            return;
        }
        const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto start = reinterpret_cast<std::uintptr_t>(data_.data());
        const std::uintptr_t first = (start + pageSize - 1) / pageSize * pageSize;
        const std::uintptr_t last = (start + data_.capacity()) / pageSize * pageSize;
        if (last > first) {
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
        }
    }

    Bytes data_;
};

class FileOutputStream final : public OutputStream {
public:
    FileOutputStream(std::string path, FileWriteMode mode) : path_(std::move(path)), mode_(mode) {}
    ~FileOutputStream() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    void open() override;
    void close() override;
    std::ptrdiff_t write(const std::uint8_t* buffer, std::size_t length) override;
    bool hasSpaceAvailable() const override { return streamStatus() == StreamStatus::Open; }
    std::optional<std::uint64_t> fileCurrentOffset() const override;
    bool setFileCurrentOffset(std::uint64_t offset) override;

    std::string description() const override { return "<OutputStream to file " + path_ + ">"; }

private:
    bool moveTo(std::uint64_t offset);
    void fail(int code, const char* action);

    std::string path_;
    FileWriteMode mode_;
    int fd_ = -1;
    std::optional<std::uint64_t> pendingOffset_;  // requested before open
};

void FileOutputStream::open() {
    if (streamStatus() != StreamStatus::NotOpen) {
        return;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode_ == FileWriteMode::Truncate ? O_TRUNC : 0);
    fd_ = ::open(path_.c_str(), flags, 0644);
    if (fd_ < 0) {
        fail(errno, "Cannot open");
        return;
    }
    // Appending seeks to the end instead of using O_APPEND, so the write position can still
    // be moved back.
    if (mode_ == FileWriteMode::Append && ::lseek(fd_, 0, SEEK_END) < 0) {
        fail(errno, "Cannot open");
        return;
    }
    setStreamStatus(StreamStatus::Open);
    if (pendingOffset_) {
        moveTo(*pendingOffset_);
    }
}

void FileOutputStream::close() {
    int fd = fd_;
    fd_ = -1;
    // A network file system may report a failed write only now.
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR && streamStatus() != StreamStatus::Error) {
        fail(errno, "Cannot finish writing");
        return;
    }
    if (streamStatus() != StreamStatus::Error) {
        setStreamStatus(StreamStatus::Closed);
    }
}

std::ptrdiff_t FileOutputStream::write(const std::uint8_t* buffer, std::size_t length) {
    if (streamStatus() != StreamStatus::Open) {
        return -1;
    }
    std::size_t written = 0;
    while (written < length) {
        ssize_t count = ::write(fd_, buffer + written, length - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // A write that makes no progress without saying why means the device is full.
            fail(count < 0 ? errno : ENOSPC, "Cannot write to");
            return -1;
        }
        written += static_cast<std::size_t>(count);
    }
    return static_cast<std::ptrdiff_t>(length);
}

std::optional<std::uint64_t> FileOutputStream::fileCurrentOffset() const {
    if (streamStatus() == StreamStatus::NotOpen) {
        return pendingOffset_;
    }
    if (fd_ < 0) {
        return std::nullopt;
    }
    off_t position = ::lseek(fd_, 0, SEEK_CUR);
    return position < 0 ? std::nullopt : std::optional<std::uint64_t>(position);
}

bool FileOutputStream::setFileCurrentOffset(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        return false;
    }
    if (streamStatus() == StreamStatus::NotOpen) {
        pendingOffset_ = offset;
        return true;
    }
    return streamStatus() == StreamStatus::Open && moveTo(offset);
}

bool FileOutputStream::moveTo(std::uint64_t offset) {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        fail(errno, "Cannot move the write position in");
        return false;
    }
    auto position = static_cast<off_t>(offset);
    if (S_ISREG(info.st_mode) && position < info.st_size && ::ftruncate(fd_, position) != 0) {
        fail(errno, "Cannot move the write position in");
        return false;
    }
    if (::lseek(fd_, position, SEEK_SET) < 0) {
        fail(errno, "Cannot move the write position in");
        return false;
    }
    return true;
}

void FileOutputStream::fail(int code, const char* action) {
    Error error = Error::posix(code, std::string(action) + " " + path_);
    error.set(FilePathErrorKey, Value(path_));
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    failWith(std::move(error));
}

}  // namespace

std::shared_ptr<OutputStream> OutputStream::outputStreamToMemory() {
    return std::make_shared<MemoryOutputStream>();
}

std::shared_ptr<OutputStream> OutputStream::outputStreamToFileAtPath(std::string path,
                                                                     FileWriteMode mode) {
    return std::make_shared<FileOutputStream>(std::move(path), mode);
}

std::optional<Value> OutputStream::property(std::string_view key) const {
    if (key == StreamDataWrittenToMemoryStreamKey) {
        const Bytes* data = dataWrittenToMemory();
        return data ? std::optional<Value>(Value(*data)) : std::nullopt;
    }
    if (key == StreamFileCurrentOffsetKey) {
        auto offset = fileCurrentOffset();
        return offset ? std::optional<Value>(Value(*offset)) : std::nullopt;
    }
    return Stream::property(key);
}

bool OutputStream::setProperty(std::string_view key, const Value& value) {
    if (key == StreamFileCurrentOffsetKey) {
        auto offset = value.asInteger();
        return offset && *offset >= 0 && setFileCurrentOffset(static_cast<std::uint64_t>(*offset));
    }
    return Stream::setProperty(key, value);
}

}  // namespace core
