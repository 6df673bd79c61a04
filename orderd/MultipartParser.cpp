#include "orderd/MultipartParser.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace orderd {
namespace {

std::string lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits `value; key=v; key="v"` into its parameters, keys lowercased, quotes removed.
std::vector<std::pair<std::string, std::string>> headerParameters(std::string_view value) {
    std::vector<std::pair<std::string, std::string>> params;
    std::size_t pos = value.find(';');
    while (pos != std::string_view::npos) {
        value.remove_prefix(pos + 1);
        bool quoted = false;
        std::size_t end = 0;
        for (; end < value.size(); ++end) {
            if (value[end] == '"') {
                quoted = !quoted;
            } else if (value[end] == ';' && !quoted) {
                break;
            }
        }
        auto param = trim(value.substr(0, end));
        auto equals = param.find('=');
        if (equals != std::string_view::npos) {
            auto v = trim(param.substr(equals + 1));
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
                v = v.substr(1, v.size() - 2);
            }
            params.emplace_back(lowercase(trim(param.substr(0, equals))), std::string(v));
        }
        pos = end < value.size() ? end : std::string_view::npos;
    }
    return params;
}

}  // namespace

MultipartParser::MultipartParser(std::string boundary, MultipartListener& listener, Limits limits)
    : delimiter_("\r\n--" + boundary), listener_(listener), limits_(limits) {
    // The first delimiter has no line break before it; pretending one was there lets one
    // search find every delimiter.
    pending_ = "\r\n";
}

Status MultipartParser::feed(std::string_view chunk) {
    if (state_ == State::Failed) {
        return error_;
    }
    if (state_ == State::Done) {
        return {};  // the epilogue carries nothing
    }
    pending_.append(chunk);
    bool progressed = true;
    while (progressed && state_ != State::Done && state_ != State::Failed) {
        progressed = false;
        if (auto status = step(progressed); !status.ok()) {
            return state_ == State::Failed ? status : fail(status.error().message);
        }
    }
    if (state_ == State::Done) {
        pending_.clear();
    }
    return {};
}

Status MultipartParser::step(bool& progressed) {
    switch (state_) {
        case State::Preamble:
        case State::Body:
            return scanForDelimiter(progressed);
        case State::AfterDelimiter:
            return readAfterDelimiter(progressed);
        case State::Headers:
            return readHeaderLine(progressed);
        case State::Done:
        case State::Failed:
            break;
    }
    return {};
}

Status MultipartParser::scanForDelimiter(bool& progressed) {
    auto found = pending_.find(delimiter_);
    std::size_t usable = found != std::string::npos ? found
                         : pending_.size() >= delimiter_.size()
                             ? pending_.size() - delimiter_.size() + 1
                             : 0;
    if (usable > 0) {
        if (state_ == State::Body) {
            if (auto status = listener_.partData(std::string_view(pending_).substr(0, usable));
                !status.ok()) {
                return status;
            }
        } else if ((preambleSeen_ += usable) > limits_.maxPreamble) {
            return fail("no multipart boundary at the start of the body");
        }
        pending_.erase(0, usable);
        progressed = true;
    }
    if (found == std::string::npos) {
        return {};
    }
    if (state_ == State::Body) {
        if (auto status = listener_.partEnded(); !status.ok()) {
            return status;
        }
    }
    pending_.erase(0, delimiter_.size());
    state_ = State::AfterDelimiter;
    progressed = true;
    return {};
}

Status MultipartParser::readAfterDelimiter(bool& progressed) {
    if (pending_.size() < 2) {
        return {};
    }
    progressed = true;
    if (pending_.compare(0, 2, "--") == 0) {
        state_ = State::Done;
        return {};
    }
    if (pending_.compare(0, 2, "\r\n") != 0) {
        return fail("malformed multipart delimiter");
    }
    if (++parts_ > limits_.maxParts) {
        return fail("too many parts in the multipart body");
    }
    pending_.erase(0, 2);
    headerBlock_.clear();
    state_ = State::Headers;
    return {};
}

Status MultipartParser::readHeaderLine(bool& progressed) {
    auto end = pending_.find("\r\n");
    if (end == std::string::npos) {
        // A trailing "\r" may yet be the start of the line break, or of the empty line that
        // ends the block, so it is not counted: the verdict must not depend on the slicing.
        const std::size_t known = pending_.size() - (pending_.ends_with('\r') ? 1 : 0);
        if (known > 0 && headerBlock_.size() + known + 2 > limits_.maxHeaderBlock) {
            return fail("multipart part headers too large");
        }
        return {};
    }
    progressed = true;
    if (end == 0) {
        pending_.erase(0, 2);
        return headerBlockEnded();
    }
    if (headerBlock_.size() + end + 2 > limits_.maxHeaderBlock) {
        return fail("multipart part headers too large");
    }
    headerBlock_.append(pending_, 0, end + 2);
    pending_.erase(0, end + 2);
    return {};
}

Status MultipartParser::headerBlockEnded() {
    PartInfo part;
    bool hasDisposition = false;
    std::string_view block = headerBlock_;
    while (!block.empty()) {
        auto end = block.find("\r\n");
        auto line = block.substr(0, end);
        block.remove_prefix(end + 2);
        auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return fail("malformed multipart part header");
        }
        auto name = lowercase(trim(line.substr(0, colon)));
        auto value = trim(line.substr(colon + 1));
        if (name == "content-type") {
            part.contentType = std::string(value);
        } else if (name == "content-disposition") {
            if (lowercase(trim(value.substr(0, value.find(';')))) != "form-data") {
                return fail("multipart part is not form-data");
            }
            hasDisposition = true;
            for (auto& [key, v] : headerParameters(value)) {
                if (key == "name") {
                    part.name = v;
                } else if (key == "filename") {
                    part.fileName = v;
                }
            }
        }
    }
    if (!hasDisposition || part.name.empty()) {
        return fail("multipart part without a field name");
    }
    state_ = State::Body;
    return listener_.partBegan(part);
}

Status MultipartParser::fail(std::string message) {
    state_ = State::Failed;
    error_ = Error{std::move(message)};
    pending_.clear();
    return error_;
}

std::optional<std::string> MultipartParser::boundaryFromContentType(std::string_view contentType) {
    if (lowercase(trim(contentType.substr(0, contentType.find(';')))) != "multipart/form-data") {
        return std::nullopt;
    }
    for (auto& [key, value] : headerParameters(contentType)) {
        if (key == "boundary" && !value.empty() && value.size() <= 70) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace orderd
