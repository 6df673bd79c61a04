#include "net/client/MultipartFormData.h"

#include <sys/stat.h>

#include "net/NetworkingErrors.h"

namespace net {

namespace {

core::Error appendError(const std::string& reason) {
    core::Error error(std::string(NetworkingErrorDomain),
                      static_cast<std::int64_t>(NetworkingErrorCode::MultipartBodyFailed));
    error.set(core::LocalizedFailureReasonErrorKey, core::Value(reason));
    return error;
}

bool reportFailure(core::Error* error, const std::string& reason) {
    if (error != nullptr) {
        *error = appendError(reason);
    }
    return false;
}

std::string withoutExtension(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        switch (c) {
            case '"':
                out += "%22";
                break;
            case '\\':
                out += "%5C";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

}  // namespace

StreamingMultipartFormData::StreamingMultipartFormData(const url::URLRequest& request,
                                                       StringEncodingId encoding)
    : request_(request),
      stringEncoding_(encoding),
      bodyStream_(MultipartBodyStream::create(encoding)) {}

bool StreamingMultipartFormData::appendPartWithFileURL(const url::URL& fileURL,
                                                       const std::string& name,
                                                       core::Error* error) {
    if (!fileURL.isFileURL()) {
        return reportFailure(error, "Expected URL to be a file URL");
    }
    struct stat info {};
    if (::stat(fileURL.path().c_str(), &info) != 0) {
        return reportFailure(error, "File URL not reachable.");
    }
    HTTPBodyPart::Headers headers{
        {"Content-Disposition", "form-data; name=" + quoted(name) + "; filename=" +
                                    quoted(withoutExtension(fileURL.lastPathComponent()))},
        {"Content-Type", "application/octet-stream"},
    };
    appendPart(std::move(headers), core::InputStream::inputStreamWithFileAtPath(fileURL.path()),
               static_cast<std::uint64_t>(info.st_size));
    return true;
}

bool StreamingMultipartFormData::appendPartWithFileData(core::Bytes data, const std::string& name,
                                                        const std::string& fileName,
                                                        const std::string& mimeType,
                                                        core::Error* error) {
    return appendPartWithHeaders(
        {
            {"Content-Disposition",
             "form-data; name=" + quoted(name) + "; filename=" + quoted(fileName)},
            {"Content-Type", mimeType},
        },
        std::move(data), error);
}

void StreamingMultipartFormData::appendPartWithFormData(core::Bytes data, const std::string& name) {
    appendPartWithHeaders({{"Content-Disposition", "form-data; name=" + quoted(name)}},
                          std::move(data));
}

bool StreamingMultipartFormData::appendPartWithHeaders(HTTPBodyPart::Headers headers,
                                                       core::Bytes body, core::Error* error) {
    if (auto fault = HTTPBodyPart::headerFault(headers)) {
        core::Error refusal = appendError(*fault);
        refusal.set(core::LocalizedDescriptionKey,
                    core::Value("A part of the multipart body was refused. " + *fault));
        bodyStream_->refuse(refusal);
        if (error != nullptr) {
            *error = std::move(refusal);
        }
        return false;
    }
    std::uint64_t length = body.size();
    appendPart(std::move(headers), core::InputStream::inputStreamWithData(std::move(body)), length);
    return true;
}

void StreamingMultipartFormData::appendPart(HTTPBodyPart::Headers headers,
                                            std::shared_ptr<core::InputStream> source,
                                            std::uint64_t length) {
    auto part = HTTPBodyPart::create(stringEncoding_);
    part->setHeaders(std::move(headers));
    part->setBodyContentLength(length);
    part->setInputStream(std::move(source));
    bodyStream_->appendHTTPBodyPart(std::move(part));
}

void StreamingMultipartFormData::throttleBandwidthWithPacketSize(std::uint64_t numberOfBytes,
                                                                 double delay) {
    bodyStream_->setNumberOfBytesInPacket(numberOfBytes);
    bodyStream_->setDelay(delay);
}

url::MutableURLRequest StreamingMultipartFormData::requestByFinalizingMultipartFormData() {
    if (bodyStream_->isEmpty()) {
        return request_;
    }
    bodyStream_->setInitialAndFinalBoundaries();
    request_.setValue("multipart/form-data; boundary=" + std::string(MultipartBoundaryString),
                      "Content-Type");
    request_.setValue(std::to_string(bodyStream_->contentLength()), "Content-Length");
    request_.setHTTPBodyStream(bodyStream_);
    return request_;
}

}  // namespace net
