#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/client/QueryString.h"
#include "net/operations/HTTPRequestOperation.h"
#include "platform/core/Coding.h"
#include "platform/core/KeyedUnarchiver.h"
#include "platform/core/Object.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Value.h"
#include "platform/url/URL.h"
#include "platform/url/URLRequest.h"

namespace net {

// How the parameters of a request with a body (any method but GET, HEAD and DELETE) are sent.
enum class ParameterEncoding : std::int32_t {
    Form = 0,          // application/x-www-form-urlencoded
    JSON = 1,          // application/json, compact
    PropertyList = 2,  // application/x-plist, XML
};

class MultipartFormData;

// A client made without a base URL: the one exception of the HTTP layer, thrown at
// construction on the caller's thread.
class NilBaseURLError : public std::invalid_argument {
public:
    static constexpr const char* kName = "-[HTTPClient initWithBaseURL:] nil URL";
    NilBaseURLError() : std::invalid_argument("`url` must not be nil") {}
    const char* name() const noexcept { return kName; }
};

// Builds requests below a base URL with default headers and encoded parameters, makes the
// operation that runs each (the first registered operation class that claims the request, or
// HTTPRequestOperation) and runs it on the client's own queue. Operations keep running when
// the client is released. Settings should be changed from one thread at a time; a change
// reaches only requests built afterwards.
//
// Multipart requests are built by multipartFormRequest(), which lives with the multipart
// body code.
class HTTPClient : public core::Object, public core::Coding {
public:
    using Headers = std::map<std::string, std::string>;  // names compared exactly
    using Parameters = std::optional<core::Value::Map>;
    using SuccessBlock = HTTPRequestOperation::SuccessBlock;
    using FailureBlock = HTTPRequestOperation::FailureBlock;

    static constexpr const char* kClassName = "HTTPClient";

    // Throws NilBaseURLError for a missing URL. A base whose path does not end in "/" gets
    // one, so relative paths resolve below it.
    static std::shared_ptr<HTTPClient> create(const std::optional<url::URL>& baseURL);
    // A client from an archive written by encode(); null (with the reason recorded in the
    // unarchiver) when the archive holds no usable base URL.
    static std::shared_ptr<HTTPClient> decode(core::KeyedUnarchiver& coder);
    // Same base URL, encodings, class names and default headers; a new, empty queue.
    std::shared_ptr<HTTPClient> copy() const;

    const url::URL& baseURL() const { return baseURL_; }
    StringEncodingId stringEncoding() const { return stringEncoding_; }
    void setStringEncoding(StringEncodingId encoding) { stringEncoding_ = encoding; }
    ParameterEncoding parameterEncoding() const { return parameterEncoding_; }
    void setParameterEncoding(ParameterEncoding encoding) { parameterEncoding_ = encoding; }
    const std::shared_ptr<core::OperationQueue>& operationQueue() const { return queue_; }

    // Operation classes, consulted earliest registration first. Registering puts the class
    // at the front of the list (once); false for a class outside the HTTPRequestOperation
    // family.
    bool registerHTTPOperationClass(const OperationClass& operationClass);
    void unregisterHTTPOperationClass(const OperationClass& operationClass);
    const std::vector<std::string>& registeredHTTPOperationClassNames() const {
        return classNames_;
    }

    std::optional<std::string> defaultValueForHeader(const std::string& name) const;
    // A missing value removes the header.
    void setDefaultHeader(const std::string& name, std::optional<std::string> value);
    const Headers& defaultHeaders() const { return defaultHeaders_; }
    void setAuthorizationHeaderWithUsername(std::string_view username, std::string_view password);
    void setAuthorizationHeaderWithToken(std::string_view token);
    void clearAuthorizationHeader();

    // `path` is resolved against the base URL as a relative reference and is not escaped.
    // Parameters go into the query for GET, HEAD and DELETE, into the body otherwise.
    url::MutableURLRequest requestWithMethod(const std::string& method, const std::string& path,
                                             const Parameters& parameters) const;
    // A request whose body is streamed as multipart/form-data: a text part per flattened
    // parameter (raw bytes as they are), then the parts `constructingBodyWith` appends.
    url::MutableURLRequest multipartFormRequest(
        const std::string& method, const std::string& path, const Parameters& parameters,
        const std::function<void(MultipartFormData&)>& constructingBodyWith) const;

    std::shared_ptr<HTTPRequestOperation> HTTPRequestOperationWithRequest(
        const url::URLRequest& request, SuccessBlock success, FailureBlock failure) const;
    void enqueueHTTPRequestOperation(const std::shared_ptr<HTTPRequestOperation>& operation);
    // Cancels the queued or running operations whose request has this method (any, when
    // none is given) and whose URL path is exactly `path`.
    void cancelAllHTTPOperationsWithMethod(const std::optional<std::string>& method,
                                           const std::string& path);

    // Batches: `progress` runs once per operation, on its success callback queue (main unless
    // set), with the count of finished operations of the batch at that moment and the total;
    // `completion` runs once on the main queue after the last progress call. Either may be
    // empty. Defined with the batch code.
    using BatchProgressBlock = std::function<void(std::uint64_t finished, std::uint64_t total)>;
    using BatchCompletionBlock =
        std::function<void(const std::vector<std::shared_ptr<HTTPRequestOperation>>& operations)>;
    void enqueueBatchOfHTTPRequestOperations(
        const std::vector<std::shared_ptr<HTTPRequestOperation>>& operations,
        BatchProgressBlock progress, BatchCompletionBlock completion);
    void enqueueBatchOfHTTPRequestOperationsWithRequests(
        const std::vector<url::URLRequest>& requests, BatchProgressBlock progress,
        BatchCompletionBlock completion);

    void getPath(const std::string& path, const Parameters& parameters, SuccessBlock success,
                 FailureBlock failure);
    void postPath(const std::string& path, const Parameters& parameters, SuccessBlock success,
                  FailureBlock failure);
    void putPath(const std::string& path, const Parameters& parameters, SuccessBlock success,
                 FailureBlock failure);
    void deletePath(const std::string& path, const Parameters& parameters, SuccessBlock success,
                    FailureBlock failure);
    void patchPath(const std::string& path, const Parameters& parameters, SuccessBlock success,
                   FailureBlock failure);

    std::string description() const override;

    // Archiving: the keys "baseURL", "stringEncoding", "parameterEncoding",
    // "registeredHTTPOperationClassNames" and "defaultHeaders". The queue is not archived.
    std::string className() const override { return kClassName; }
    void encode(core::KeyedArchiver& archiver) const override;

protected:
    explicit HTTPClient(url::URL baseURL);

private:
    void runRequest(const std::string& method, const std::string& path,
                    const Parameters& parameters, SuccessBlock success, FailureBlock failure);
    void encodeBody(url::MutableURLRequest& request, const core::Value::Map& parameters) const;

    url::URL baseURL_;
    StringEncodingId stringEncoding_ = kUTF8StringEncoding;
    ParameterEncoding parameterEncoding_ = ParameterEncoding::Form;
    std::vector<std::string> classNames_;
    Headers defaultHeaders_;
    std::shared_ptr<core::OperationQueue> queue_;
};

}  // namespace net
