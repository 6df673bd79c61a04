#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "orderd/Result.h"

namespace orderd {

// What a part's headers say about it.
struct PartInfo {
    std::string name;
    std::optional<std::string> fileName;
    std::string contentType;
};

// Receives the parts of a multipart/form-data body as they stream in.
class MultipartListener {
public:
    virtual ~MultipartListener() = default;
    virtual Status partBegan(const PartInfo& part) = 0;
    virtual Status partData(std::string_view bytes) = 0;
    virtual Status partEnded() = 0;
};

// Push parser for multipart/form-data: the body arrives in chunks of any size, part data is
// handed on without holding the body in memory, and only a body that reaches its closing
// delimiter counts as complete.
class MultipartParser {
public:
    struct Limits {
        std::size_t maxHeaderBlock = 8 * 1024;
        std::size_t maxParts = 16;
        std::size_t maxPreamble = 1024;
    };

    MultipartParser(std::string boundary, MultipartListener& listener, Limits limits);
    MultipartParser(std::string boundary, MultipartListener& listener)
        : MultipartParser(std::move(boundary), listener, Limits{}) {}

    // Stops at the first error; later calls return the same error.
    Status feed(std::string_view chunk);
    bool isComplete() const { return state_ == State::Done; }

    // The boundary parameter of a multipart/form-data Content-Type, if there is a usable one.
    static std::optional<std::string> boundaryFromContentType(std::string_view contentType);

private:
    enum class State { Preamble, AfterDelimiter, Headers, Body, Done, Failed };

    Status step(bool& progressed);
    Status scanForDelimiter(bool& progressed);
    Status readAfterDelimiter(bool& progressed);
    Status readHeaderLine(bool& progressed);
    Status headerBlockEnded();
    Status fail(std::string message);

    std::string delimiter_;
    MultipartListener& listener_;
    Limits limits_;
    State state_ = State::Preamble;
    std::string pending_;
    std::string headerBlock_;
    std::size_t parts_ = 0;
    std::size_t preambleSeen_ = 0;
    Error error_;
};

}  // namespace orderd
