#include "net/client/HTTPClient.h"

#include <algorithm>
#include <cstdio>

#include "net/client/DefaultHeaders.h"
#include "net/client/ParameterSerialization.h"
#include "platform/core/KeyedArchiver.h"
#include "platform/core/StringEncoding.h"

namespace net {

namespace {

constexpr const char* kAuthorization = "Authorization";

// A base URL whose path lacks its final "/" gets one, so that relative paths resolve below it
// instead of replacing its last segment.
url::URL withTrailingSlash(const url::URL& base) {
    const std::string& path = base.path();
    if (path.empty() || path.back() == '/') {
        return base;
    }
    const std::string& text = base.absoluteString();
    const auto end = std::min(text.find_first_of("?#"), text.size());
    std::string slashed(text, 0, end);
    slashed.push_back('/');
    slashed.append(text, end);
    return url::URL::create(slashed).value_or(base);
}

bool carriesParametersInQuery(const std::string& method) {
    return method == "GET" || method == "HEAD" || method == "DELETE";
}

// Registers the client with the keyed unarchiver once this file is linked in.
const bool kRegisteredForArchiving = [] {
    core::KeyedUnarchiver::registerClass(HTTPClient::kClassName, [](core::KeyedUnarchiver& coder) {
        return std::static_pointer_cast<core::Coding>(HTTPClient::decode(coder));
    });
    return true;
}();

}  // namespace

std::shared_ptr<HTTPClient> HTTPClient::create(const std::optional<url::URL>& baseURL) {
    (void)kRegisteredForArchiving;
    if (!baseURL) {
        throw NilBaseURLError();
    }
    return std::shared_ptr<HTTPClient>(new HTTPClient(*baseURL));
}

HTTPClient::HTTPClient(url::URL baseURL)
    : baseURL_(withTrailingSlash(baseURL)), queue_(core::OperationQueue::create()) {
    defaultHeaders_["Accept-Language"] =
        acceptLanguageHeader(preferredLanguages(processEnvironment()));
    defaultHeaders_["User-Agent"] = userAgentHeader(currentUserAgentParts());
    queue_->setMaxConcurrentOperationCount(
        core::OperationQueue::kDefaultMaxConcurrentOperationCount);
}

std::shared_ptr<HTTPClient> HTTPClient::copy() const {
    auto copy = create(baseURL_);
    copy->stringEncoding_ = stringEncoding_;
    copy->parameterEncoding_ = parameterEncoding_;
    copy->classNames_ = classNames_;
    copy->defaultHeaders_ = defaultHeaders_;
    return copy;
}

// --- Operation classes and headers ---------------------------------------------------------

bool HTTPClient::registerHTTPOperationClass(const OperationClass& operationClass) {
    if (!operationClass.isSubclassOf(HTTPRequestOperation::staticClass())) {
        return false;
    }
    unregisterHTTPOperationClass(operationClass);
    classNames_.insert(classNames_.begin(), operationClass.name());
    return true;
}

void HTTPClient::unregisterHTTPOperationClass(const OperationClass& operationClass) {
    std::erase(classNames_, operationClass.name());
}

std::optional<std::string> HTTPClient::defaultValueForHeader(const std::string& name) const {
    auto found = defaultHeaders_.find(name);
    return found == defaultHeaders_.end() ? std::nullopt : std::optional(found->second);
}

void HTTPClient::setDefaultHeader(const std::string& name, std::optional<std::string> value) {
    if (value) {
        defaultHeaders_[name] = std::move(*value);
    } else {
        defaultHeaders_.erase(name);
    }
}

void HTTPClient::setAuthorizationHeaderWithUsername(std::string_view username,
                                                    std::string_view password) {
    const std::string credentials = std::string(username) + ":" + std::string(password);
    setDefaultHeader(kAuthorization, "Basic " + base64Encode(credentials));
}

void HTTPClient::setAuthorizationHeaderWithToken(std::string_view token) {
    setDefaultHeader(kAuthorization, "Token token=\"" + std::string(token) + "\"");
}

void HTTPClient::clearAuthorizationHeader() {
    setDefaultHeader(kAuthorization, std::nullopt);
}

// --- Requests ------------------------------------------------------------------------------

url::MutableURLRequest HTTPClient::requestWithMethod(const std::string& method,
                                                     const std::string& path,
                                                     const Parameters& parameters) const {
    const auto resolved = url::URL::create(path, baseURL_);
    url::MutableURLRequest request(resolved);
    request.setHTTPMethod(method);
    for (const auto& [name, value] : defaultHeaders_) {
        request.setValue(value, name);
    }
    if (!parameters) {
        return request;
    }
    if (!carriesParametersInQuery(method)) {
        encodeBody(request, *parameters);
        return request;
    }
    const auto query = BuildQueryString(*parameters, stringEncoding_);
    if (resolved && query) {
        const char* separator = path.find('?') == std::string::npos ? "?" : "&";
        request.setURL(url::URL::create(resolved->absoluteString() + separator + *query));
    }
    return request;
}

void HTTPClient::encodeBody(url::MutableURLRequest& request,
                            const core::Value::Map& parameters) const {
    const auto encoding = static_cast<core::StringEncoding>(stringEncoding_);
    const std::string charset = core::ianaCharsetName(encoding).value_or("utf-8");
    std::optional<std::string> text;
    switch (parameterEncoding_) {
        case ParameterEncoding::Form:
            request.setValue("application/x-www-form-urlencoded; charset=" + charset,
                             "Content-Type");
            text = BuildQueryString(parameters, stringEncoding_);
            break;
        case ParameterEncoding::JSON:
            request.setValue("application/json; charset=" + charset, "Content-Type");
            text = JSONText(core::Value(parameters));
            break;
        case ParameterEncoding::PropertyList:
            request.setValue("application/x-plist; charset=" + charset, "Content-Type");
            text = propertyListXMLText(core::Value(parameters));
            break;
        default:
            return;
    }
    // A tree the format cannot hold leaves the request without a body.
    if (text) {
        if (auto body = core::encodeString(*text, encoding)) {
            request.setHTTPBody(std::move(*body));
        }
    }
}

// --- Operations ----------------------------------------------------------------------------

std::shared_ptr<HTTPRequestOperation> HTTPClient::HTTPRequestOperationWithRequest(
    const url::URLRequest& request, SuccessBlock success, FailureBlock failure) const {
    std::shared_ptr<HTTPRequestOperation> operation;
    // The earliest registration still listed sits last and is asked first.
    for (auto name = classNames_.rbegin(); name != classNames_.rend() && !operation; ++name) {
        const OperationClass* candidate = OperationClass::named(*name);
        if (candidate && candidate->canProcessRequest(request)) {
            operation = std::dynamic_pointer_cast<HTTPRequestOperation>(
                candidate->create(std::make_shared<const url::URLRequest>(request)));
        }
    }
    if (!operation) {
        operation = HTTPRequestOperation::create(request);
    }
    operation->setCompletionBlockWithSuccess(std::move(success), std::move(failure));
    return operation;
}

void HTTPClient::enqueueHTTPRequestOperation(
    const std::shared_ptr<HTTPRequestOperation>& operation) {
    queue_->addOperation(operation);
}

void HTTPClient::cancelAllHTTPOperationsWithMethod(const std::optional<std::string>& method,
                                                   const std::string& path) {
    for (const auto& queued : queue_->operations()) {
        auto operation = std::dynamic_pointer_cast<HTTPRequestOperation>(queued);
        if (!operation) {
            continue;
        }
        const auto request = operation->request();
        const bool methodMatches = !method || *method == request->httpMethod();
        if (methodMatches && request->url() && request->url()->path() == path) {
            operation->cancel();
        }
    }
}

void HTTPClient::runRequest(const std::string& method, const std::string& path,
                            const Parameters& parameters, SuccessBlock success,
                            FailureBlock failure) {
    const auto request = requestWithMethod(method, path, parameters);
    enqueueHTTPRequestOperation(
        HTTPRequestOperationWithRequest(request, std::move(success), std::move(failure)));
}

void HTTPClient::getPath(const std::string& path, const Parameters& parameters,
                         SuccessBlock success, FailureBlock failure) {
    runRequest("GET", path, parameters, std::move(success), std::move(failure));
}

void HTTPClient::postPath(const std::string& path, const Parameters& parameters,
                          SuccessBlock success, FailureBlock failure) {
    runRequest("POST", path, parameters, std::move(success), std::move(failure));
}

void HTTPClient::putPath(const std::string& path, const Parameters& parameters,
                         SuccessBlock success, FailureBlock failure) {
    runRequest("PUT", path, parameters, std::move(success), std::move(failure));
}

void HTTPClient::deletePath(const std::string& path, const Parameters& parameters,
                            SuccessBlock success, FailureBlock failure) {
    runRequest("DELETE", path, parameters, std::move(success), std::move(failure));
}

void HTTPClient::patchPath(const std::string& path, const Parameters& parameters,
                           SuccessBlock success, FailureBlock failure) {
    runRequest("PATCH", path, parameters, std::move(success), std::move(failure));
}

// --- Description and archiving -------------------------------------------------------------

std::string HTTPClient::description() const {
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<const void*>(this));
    core::Value::Map headers;
    for (const auto& [name, value] : defaultHeaders_) {
        headers.set(name, value);
    }
    core::Value::List names(classNames_.begin(), classNames_.end());
    return std::string("<HTTPClient: ") + pointer + ", baseURL: " + baseURL_.absoluteString() +
           ", defaultHeaders: " + core::Value(std::move(headers)).description() +
           ", registeredOperationClasses: " + core::Value(std::move(names)).description() +
           ", operationQueue: " + queue_->description() + ">";
}

void HTTPClient::encode(core::KeyedArchiver& archiver) const {
    archiver.encodeString("baseURL", baseURL_.absoluteString());
    archiver.encodeInteger("stringEncoding", static_cast<std::int64_t>(stringEncoding_));
    archiver.encodeInteger("parameterEncoding", static_cast<std::int64_t>(parameterEncoding_));
    archiver.encodeValue("registeredHTTPOperationClassNames",
                         core::Value::List(classNames_.begin(), classNames_.end()));
    core::Value::Map headers;
    for (const auto& [name, value] : defaultHeaders_) {
        headers.set(name, value);
    }
    archiver.encodeValue("defaultHeaders", std::move(headers));
}

std::shared_ptr<HTTPClient> HTTPClient::decode(core::KeyedUnarchiver& coder) {
    const auto text = coder.decodeString("baseURL");
    const auto base = text ? url::URL::create(*text) : std::nullopt;
    if (!base) {
        coder.failWithError(
            core::Error(std::string(core::CoderErrorDomain),
                        static_cast<std::int64_t>(core::CoderError::ValueNotFound),
                        {{std::string(core::LocalizedDescriptionKey),
                          core::Value("The archived client has no valid base URL.")}}));
        return nullptr;
    }
    auto client = create(*base);
    if (auto encoding = coder.decodeInteger("stringEncoding")) {
        client->stringEncoding_ = static_cast<StringEncodingId>(*encoding);
    }
    if (auto encoding = coder.decodeInteger("parameterEncoding")) {
        client->parameterEncoding_ = static_cast<ParameterEncoding>(*encoding);
    }
    if (auto names = coder.decodeValue("registeredHTTPOperationClassNames");
        names && names->isList()) {
        client->classNames_.clear();
        for (const auto& name : *names->asList()) {
            if (const auto* string = name.asString()) {
                client->classNames_.push_back(*string);
            }
        }
    }
    if (auto headers = coder.decodeValue("defaultHeaders"); headers && headers->isMap()) {
        client->defaultHeaders_.clear();
        for (const auto& [name, value] : *headers->asMap()) {
            if (const auto* string = value.asString()) {
                client->defaultHeaders_[name] = *string;
            }
        }
    }
    return client;
}

}  // namespace net
