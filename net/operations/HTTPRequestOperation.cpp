#include "net/operations/HTTPRequestOperation.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

#include "net/NetworkingErrors.h"
#include "platform/url/HTTPURLResponse.h"

namespace net {

namespace {

// Reads a leading decimal number as the platform's lenient number parsing does: anything
// that does not start with digits reads as 0.
std::int64_t leadingInteger(std::string_view text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Splits at every character of `separators`, keeping empty pieces between adjacent ones.
std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || separators.find(text[i]) != std::string_view::npos) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

std::string contentTypesText(const std::optional<OperationClass::ContentTypes>& types) {
    if (!types) {
        return "(null)";
    }
    std::string text = "{(";
    for (const auto& type : *types) {
        text += text.size() > 2 ? ", " : "";
        text += type;
    }
    return text + ")}";
}

template <class T>
core::ObjectPtr object(const std::shared_ptr<const T>& value) {
    return std::const_pointer_cast<T>(value);
}

}  // namespace

const OperationClass& HTTPRequestOperation::staticClass() {
    static const OperationClass descriptor = [] {
        return OperationClass(
            "HTTPRequestOperation", &URLConnectionOperation::staticClass(),
            [](std::shared_ptr<const url::URLRequest> request) {
                return std::shared_ptr<URLConnectionOperation>(new HTTPRequestOperation(*request));
            },
            [](const OperationClass& self, const url::URLRequest& request) {
                return &self == &HTTPRequestOperation::staticClass() ||
                       OperationClass::acceptHeaderMatches(self, request);
            });
    }();
    static const bool defaults = [] {
        OperationClass::StatusCodes codes;
        for (int code = 200; code < 300; ++code) {
            codes.insert(code);
        }
        descriptor.setAcceptableStatusCodes(std::move(codes));
        descriptor.setAcceptableContentTypes(std::nullopt);
        return true;
    }();
    (void)defaults;
    return descriptor;
}

std::shared_ptr<HTTPRequestOperation> HTTPRequestOperation::create(const url::URLRequest& request) {
    return std::shared_ptr<HTTPRequestOperation>(new HTTPRequestOperation(request));
}

HTTPRequestOperation::HTTPRequestOperation(const url::URLRequest& request)
    : URLConnectionOperation(request) {}

// --- Judging the answer --------------------------------------------------------------------

int HTTPRequestOperation::effectiveStatusCode() const {
    const auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(response());
    return http ? http->statusCode() : 200;
}

bool HTTPRequestOperation::hasAcceptableStatusCode() const {
    if (!response()) {
        return false;
    }
    return operationClass().acceptsStatusCode(effectiveStatusCode());
}

bool HTTPRequestOperation::hasAcceptableContentType() const {
    const auto response = this->response();
    if (!response) {
        return false;
    }
    return operationClass().acceptsContentType(
        response->mimeType().value_or("application/octet-stream"));
}

std::string HTTPRequestOperation::statusCodeRangesText(const OperationClass::StatusCodes& codes) {
    std::string text;
    for (auto it = codes.begin(); it != codes.end();) {
        const int first = *it;
        int last = first;
        for (++it; it != codes.end() && *it == last + 1; ++it) {
            last = *it;
        }
        if (!text.empty()) {
            text += ",";
        }
        text += std::to_string(first);
        if (last != first) {
            text += '-';
            text += std::to_string(last);
        }
    }
    return text;
}

std::shared_ptr<const core::Error> HTTPRequestOperation::buildHTTPError() const {
    const auto response = this->response();
    const bool statusOK = hasAcceptableStatusCode();
    if (!response || (statusOK && hasAcceptableContentType())) {
        return nullptr;
    }
    const auto data = responseData();
    if (statusOK && (!data || data->empty())) {
        return nullptr;  // only the content type is wrong, and there is nothing to misread
    }
    const auto request = this->request();
    core::Error::UserInfo info;
    if (auto text = responseString()) {
        info.emplace(core::LocalizedRecoverySuggestionErrorKey, core::Value(*text));
    }
    if (request && request->url()) {
        info.emplace(core::URLErrorFailingURLErrorKey,
                     core::ObjectPtr(std::make_shared<url::URL>(*request->url())));
    }
    if (request) {
        info.emplace(NetworkingOperationFailingURLRequestErrorKey, object(request));
    }
    info.emplace(NetworkingOperationFailingURLResponseErrorKey, object(response));

    NetworkingErrorCode code = NetworkingErrorCode::BadServerResponse;
    std::string description;
    if (!statusOK) {
        const auto codes =
            operationClass().acceptableStatusCodes().value_or(OperationClass::StatusCodes{});
        description = "Expected status code in (" + statusCodeRangesText(codes) + "), got " +
                      std::to_string(effectiveStatusCode());
    } else {
        code = NetworkingErrorCode::CannotDecodeContentData;
        description = "Expected content type " +
                      contentTypesText(operationClass().acceptableContentTypes()) + ", got " +
                      response->mimeType().value_or("(null)");
    }
    info.emplace(core::LocalizedDescriptionKey, core::Value(description));
    return std::make_shared<const core::Error>(std::string(NetworkingErrorDomain),
                                               static_cast<std::int64_t>(code), std::move(info));
}

std::shared_ptr<const core::Error> HTTPRequestOperation::error() const {
    {
        std::lock_guard guard(httpMutex_);
        if (httpError_) {
            return httpError_;
        }
    }
    if (auto built = buildHTTPError()) {
        std::lock_guard guard(httpMutex_);
        if (!httpError_) {
            httpError_ = std::move(built);
        }
        return httpError_;
    }
    return URLConnectionOperation::error();
}

// --- Pause and resumption ------------------------------------------------------------------

void HTTPRequestOperation::pause() {
    std::lock_guard streamGuard(streamMutex());
    std::uint64_t offset = 0;
    if (const auto stream = outputStream()) {
        if (const auto position = stream->fileCurrentOffset()) {
            offset = *position;
        } else if (const core::Bytes* written = stream->dataWrittenToMemory()) {
            offset = written->size();
        }
    }
    url::MutableURLRequest resumed = request()->mutableCopy();
    const auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(response());
    if (http) {
        if (auto etag = http->valueForHTTPHeaderField("ETag")) {
            resumed.setValue(*etag, "If-Range");
        }
    }
    resumed.setValue("bytes=" + std::to_string(offset) + "-", "Range");
    replaceRequest(std::make_shared<const url::URLRequest>(resumed.copy()));
    URLConnectionOperation::pause();
}

void HTTPRequestOperation::didReceiveResponse(
    url::URLConnection& connection, const std::shared_ptr<const url::URLResponse>& response) {
    std::lock_guard streamGuard(streamMutex());
    if (!isCurrentConnection(connection)) {
        return;
    }
    setResponse(response);
    std::int64_t total = response->expectedContentLength();
    std::int64_t offset = 0;
    const auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(response);
    if (http && http->statusCode() == 206) {
        // The body continues what was written before the pause; the stream stays as it is.
        const auto range = http->valueForHTTPHeaderField("Content-Range").value_or("");
        const auto pieces = split(range, " -/");
        if (range.starts_with("bytes") && pieces.size() == 4) {
            offset = leadingInteger(pieces[1]);
            total = leadingInteger(pieces[3]);
            if (total == 0) {
                total = -1;
            }
            if (offset != requestedRangeStart()) {
                // Appended where it does not belong, the body would be whole in length only.
                connection.cancel();
                didFailWithError(connection, misplacedRangeError(range));
                return;
            }
        }
    } else {
        restartBody();
    }
    offsetContentLength_ = std::max<std::int64_t>(offset, 0);
    totalContentLength_ = total;
    if (auto stream = outputStream()) {
        stream->open();
    }
}

// Where the body the request asks for starts: its own "bytes=N-" range, else the beginning.
std::int64_t HTTPRequestOperation::requestedRangeStart() const {
    const auto request = this->request();
    const auto range = request ? request->valueForHTTPHeaderField("Range") : std::nullopt;
    if (!range || !range->starts_with("bytes=")) {
        return 0;
    }
    return leadingInteger(std::string_view(*range).substr(6));
}

core::Error HTTPRequestOperation::misplacedRangeError(const std::string& contentRange) const {
    const std::string description = "The server answered with the range \"" + contentRange +
                                    "\", which does not start at byte " +
                                    std::to_string(requestedRangeStart()) + " as asked.";
    return core::Error(std::string(NetworkingErrorDomain),
                       static_cast<std::int64_t>(NetworkingErrorCode::BadServerResponse),
                       {{std::string(core::LocalizedDescriptionKey), core::Value(description)}});
}

// A complete answer replaces whatever an earlier, paused connection wrote.
void HTTPRequestOperation::restartBody() {
    const auto stream = outputStream();
    if (!stream) {
        return;
    }
    if (stream->fileCurrentOffset()) {
        stream->setFileCurrentOffset(0);
        return;
    }
    const core::Bytes* written = stream->dataWrittenToMemory();
    if (written && !written->empty()) {
        auto fresh = core::OutputStream::outputStreamToMemory();
        setOutputStream(fresh);
        scheduleOnNetworkThread(fresh);
    }
}

// --- Outcome -------------------------------------------------------------------------------

void HTTPRequestOperation::setSuccessCallbackQueue(
    const std::shared_ptr<core::DispatchQueue>& queue) {
    std::lock_guard guard(httpMutex_);
    successQueue_ = queue;
}

void HTTPRequestOperation::setFailureCallbackQueue(
    const std::shared_ptr<core::DispatchQueue>& queue) {
    std::lock_guard guard(httpMutex_);
    failureQueue_ = queue;
}

std::shared_ptr<core::DispatchQueue> HTTPRequestOperation::successCallbackQueue() const {
    std::lock_guard guard(httpMutex_);
    return successQueue_.lock();
}

std::shared_ptr<core::DispatchQueue> HTTPRequestOperation::failureCallbackQueue() const {
    std::lock_guard guard(httpMutex_);
    return failureQueue_.lock();
}

std::shared_ptr<core::DispatchQueue> HTTPRequestOperation::queueForSuccess() const {
    auto queue = successCallbackQueue();
    return queue ? queue : core::DispatchQueue::main();
}

std::shared_ptr<core::DispatchQueue> HTTPRequestOperation::queueForFailure() const {
    auto queue = failureCallbackQueue();
    return queue ? queue : core::DispatchQueue::main();
}

void HTTPRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                         FailureBlock failure) {
    // Weak, so an operation made and dropped without being started is freed; once finished,
    // the completion dispatch holds it until this block has run.
    std::weak_ptr<HTTPRequestOperation> weakSelf =
        std::static_pointer_cast<HTTPRequestOperation>(shared_from_this());
    // A completion block runs once, so it hands its blocks on instead of copying them.
    setCompletionBlock(
        [weakSelf, success = std::move(success), failure = std::move(failure)]() mutable {
            auto self = weakSelf.lock();
            if (!self || self->isCancelled()) {
                return;
            }
            if (self->error()) {
                if (failure) {
                    self->queueForFailure()->async([self, failure = std::move(failure)] {
                        if (auto error = self->error()) {
                            failure(self, *error);
                        }
                    });
                }
            } else if (success) {
                self->queueForSuccess()->async([self, success = std::move(success)] {
                    success(self, std::any(self->responseData()));
                });
            }
        });
}

}  // namespace net
