#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/client/HTTPBodyPart.h"
#include "net/client/MultipartBodyStream.h"
#include "platform/core/Bytes.h"
#include "platform/core/Error.h"
#include "platform/url/URL.h"
#include "platform/url/URLRequest.h"

namespace net {

// What a request's body block sees: the parts it may add to a multipart/form-data body.
// Parts are sent in the order they were appended.
//
// Names: field and file names go between double quotes in Content-Disposition. A double
// quote, backslash, CR or LF in a name is percent-encoded (%22, %5C, %0D, %0A), as browsers
// encode form uploads, so no name can end its quoted text early or add a header line; every
// other byte goes as it is.
//
// Header values given by the caller (a MIME type, the headers of appendPartWithHeaders) are
// refused when a value holds CR or LF, or a name is empty or holds CR, LF or ':'. Rewriting
// them would send headers the caller did not write, so the call returns false, sets *error
// (code -1000) when given and appends nothing; and since a body missing a part its caller
// asked for must not look whole, reading the finished body then fails with the same error.
class MultipartFormData {
public:
    virtual ~MultipartFormData() = default;

    // A part read from the file when the body is sent, named after the file without its
    // extension, typed application/octet-stream, its length the file's size now. False, with
    // *error (code -1000) set when given, for a URL that is not a file URL or a file that
    // does not exist; nothing is appended then.
    virtual bool appendPartWithFileURL(const url::URL& fileURL, const std::string& name,
                                       core::Error* error = nullptr) = 0;
    virtual bool appendPartWithFileData(core::Bytes data, const std::string& name,
                                        const std::string& fileName, const std::string& mimeType,
                                        core::Error* error = nullptr) = 0;
    virtual void appendPartWithFormData(core::Bytes data, const std::string& name) = 0;
    // Headers and bytes are taken as they are, once the headers pass the check above.
    virtual bool appendPartWithHeaders(HTTPBodyPart::Headers headers, core::Bytes body,
                                       core::Error* error = nullptr) = 0;
    virtual void throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) = 0;
};

// Collects the parts of one multipart request and finishes the request with them. Used by one
// thread at a time, which may be any thread: building waits for no other thread; reading the
// body it makes does (see MultipartBodyStream).
class StreamingMultipartFormData final : public MultipartFormData {
public:
    StreamingMultipartFormData(const url::URLRequest& request,
                               StringEncodingId encoding = kUTF8StringEncoding);

    bool appendPartWithFileURL(const url::URL& fileURL, const std::string& name,
                               core::Error* error = nullptr) override;
    bool appendPartWithFileData(core::Bytes data, const std::string& name,
                                const std::string& fileName, const std::string& mimeType,
                                core::Error* error = nullptr) override;
    void appendPartWithFormData(core::Bytes data, const std::string& name) override;
    bool appendPartWithHeaders(HTTPBodyPart::Headers headers, core::Bytes body,
                               core::Error* error = nullptr) override;
    void throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes, double delay) override;

    // The request with Content-Type (with the boundary), Content-Length and the body stream;
    // unchanged when no part was appended.
    url::MutableURLRequest requestByFinalizingMultipartFormData();

    const url::MutableURLRequest& request() const { return request_; }
    const std::shared_ptr<MultipartBodyStream>& bodyStream() const { return bodyStream_; }
    StringEncodingId stringEncoding() const { return stringEncoding_; }

private:
    void appendPart(HTTPBodyPart::Headers headers, std::shared_ptr<core::InputStream> source,
                    std::uint64_t length);

    url::MutableURLRequest request_;
    StringEncodingId stringEncoding_;
    std::shared_ptr<MultipartBodyStream> bodyStream_;
};

}  // namespace net
