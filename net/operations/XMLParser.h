#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "net/operations/XMLParserDelegate.h"
#include "platform/core/Bytes.h"
#include "platform/core/Error.h"

namespace net {

// An event parser over a complete XML document: the caller gives it a delegate and runs
// parse(), which reports elements and text to the delegate as it reads. Document type
// declarations with entity definitions are refused, so a body cannot expand without bound.
class XMLParser {
public:
    static inline constexpr std::string_view ErrorDomain = "XMLParserErrorDomain";

    explicit XMLParser(std::shared_ptr<const core::Bytes> data);
    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    // Held weakly; clearing it stops further events.
    void setDelegate(std::weak_ptr<XMLParserDelegate> delegate);
    std::shared_ptr<XMLParserDelegate> delegate() const;

    // Reads the whole document once; false, with parserError() set, on malformed input or
    // when abortParsing() was called. A second call reads nothing and answers the same.
    bool parse();
    // From a delegate method: stop after the current event.
    void abortParsing() { aborted_ = true; }
    std::shared_ptr<const core::Error> parserError() const;
    const core::Bytes& data() const { return *data_; }

private:
    struct Run;

    std::shared_ptr<const core::Bytes> data_;
    mutable std::mutex mutex_;
    std::weak_ptr<XMLParserDelegate> delegate_;  // guarded by mutex_
    std::shared_ptr<const core::Error> error_;   // guarded by mutex_
    std::optional<bool> result_;                 // guarded by mutex_
    std::atomic<bool> aborted_{false};
};

}  // namespace net
