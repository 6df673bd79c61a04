#include "net/operations/URLObjectCoding.h"

#include "platform/url/HTTPURLResponse.h"

namespace net {

namespace {

constexpr const char* kRequestClass = "net.URLRequest";
constexpr const char* kResponseClass = "net.URLResponse";
constexpr const char* kErrorClass = "net.Error";

core::Value headersValue(const url::HTTPHeaderFields& fields) {
    core::Value::Map map;
    for (const auto& [name, value] : fields.entries()) {
        map.set(name, value);
    }
    return map;
}

url::HTTPHeaderFields headersFrom(const std::optional<core::Value>& value) {
    url::HTTPHeaderFields fields;
    if (value && value->isMap()) {
        for (const auto& [name, entry] : *value->asMap()) {
            if (const auto* text = entry.asString()) {
                fields.set(name, *text);
            }
        }
    }
    return fields;
}

// Each holder carries one object through the archiver's Coding interface.
template <class T>
class Holder : public core::Coding {
public:
    Holder(const char* className, std::shared_ptr<const T> object)
        : className_(className), object_(std::move(object)) {}
    std::string className() const override { return className_; }
    void encode(core::KeyedArchiver& archiver) const override;
    const std::shared_ptr<const T>& object() const { return object_; }

private:
    const char* className_;
    std::shared_ptr<const T> object_;
};

template <>
void Holder<url::URLRequest>::encode(core::KeyedArchiver& archiver) const {
    if (object_->url()) {
        archiver.encodeString("URL", object_->url()->absoluteString());
    }
    archiver.encodeString("method", object_->httpMethod());
    archiver.encodeValue("headers", headersValue(object_->allHTTPHeaderFields()));
    if (object_->httpBody()) {
        archiver.encodeBytes("body", *object_->httpBody());
    }
    archiver.encodeInteger("cachePolicy", static_cast<std::int64_t>(object_->cachePolicy()));
    archiver.encodeDouble("timeout", object_->timeoutInterval());
}

template <>
void Holder<url::URLResponse>::encode(core::KeyedArchiver& archiver) const {
    archiver.encodeString("URL", object_->url().absoluteString());
    if (auto http = std::dynamic_pointer_cast<const url::HTTPURLResponse>(object_)) {
        archiver.encodeInteger("status", http->statusCode());
        archiver.encodeValue("headers", headersValue(http->allHeaderFields()));
        return;
    }
    if (object_->mimeType()) {
        archiver.encodeString("MIMEType", *object_->mimeType());
    }
    archiver.encodeInteger("length", object_->expectedContentLength());
    if (object_->textEncodingName()) {
        archiver.encodeString("textEncoding", *object_->textEncodingName());
    }
}

template <>
void Holder<core::Error>::encode(core::KeyedArchiver& archiver) const {
    archiver.encodeString("domain", object_->domain());
    archiver.encodeInteger("code", object_->code());
    core::Value::Map values;
    for (const auto& [key, entry] : object_->userInfo()) {
        if (const auto* value = std::get_if<core::Value>(&entry)) {
            values.set(key, *value);
        }
    }
    archiver.encodeValue("userInfo", core::Value(std::move(values)));
}

std::shared_ptr<core::Coding> readRequest(core::KeyedUnarchiver& coder) {
    const auto text = coder.decodeString("URL");
    url::MutableURLRequest request(text ? url::URL::create(*text) : std::nullopt);
    request.setHTTPMethod(coder.decodeString("method").value_or("GET"));
    request.setAllHTTPHeaderFields(headersFrom(coder.decodeValue("headers")));
    if (auto body = coder.decodeBytes("body")) {
        request.setHTTPBody(std::move(*body));
    }
    request.setCachePolicy(
        static_cast<url::URLRequestCachePolicy>(coder.decodeInteger("cachePolicy").value_or(0)));
    request.setTimeoutInterval(
        coder.decodeDouble("timeout").value_or(url::URLRequest::kDefaultTimeoutInterval));
    return std::make_shared<Holder<url::URLRequest>>(
        kRequestClass, std::make_shared<const url::URLRequest>(request.copy()));
}

std::shared_ptr<core::Coding> readResponse(core::KeyedUnarchiver& coder) {
    const auto address = url::URL::create(coder.decodeString("URL").value_or(""));
    if (!address) {
        return nullptr;
    }
    std::shared_ptr<const url::URLResponse> response;
    if (auto status = coder.decodeInteger("status")) {
        response = std::make_shared<const url::HTTPURLResponse>(
            *address, static_cast<int>(*status), headersFrom(coder.decodeValue("headers")));
    } else {
        response = std::make_shared<const url::URLResponse>(
            *address, coder.decodeString("MIMEType"), coder.decodeInteger("length").value_or(-1),
            coder.decodeString("textEncoding"));
    }
    return std::make_shared<Holder<url::URLResponse>>(kResponseClass, std::move(response));
}

std::shared_ptr<core::Coding> readError(core::KeyedUnarchiver& coder) {
    core::Error::UserInfo info;
    if (auto values = coder.decodeValue("userInfo"); values && values->isMap()) {
        for (const auto& [key, value] : *values->asMap()) {
            info.emplace(key, value);
        }
    }
    return std::make_shared<Holder<core::Error>>(
        kErrorClass, std::make_shared<const core::Error>(coder.decodeString("domain").value_or(""),
                                                         coder.decodeInteger("code").value_or(0),
                                                         std::move(info)));
}

void registerReaders() {
    static const bool registered = [] {
        core::KeyedUnarchiver::registerClass(kRequestClass, readRequest);
        core::KeyedUnarchiver::registerClass(kResponseClass, readResponse);
        core::KeyedUnarchiver::registerClass(kErrorClass, readError);
        return true;
    }();
    (void)registered;
}

template <class T>
std::shared_ptr<const T> decodeHeld(core::KeyedUnarchiver& coder, std::string_view key) {
    registerReaders();
    auto holder = coder.decodeObject<Holder<T>>(key);
    return holder ? holder->object() : nullptr;
}

}  // namespace

void encodeRequest(core::KeyedArchiver& archiver, std::string_view key,
                   const std::shared_ptr<const url::URLRequest>& request) {
    if (request) {
        archiver.encodeObject(key, Holder<url::URLRequest>(kRequestClass, request));
    }
}

void encodeResponse(core::KeyedArchiver& archiver, std::string_view key,
                    const std::shared_ptr<const url::URLResponse>& response) {
    if (response) {
        archiver.encodeObject(key, Holder<url::URLResponse>(kResponseClass, response));
    }
}

void encodeError(core::KeyedArchiver& archiver, std::string_view key,
                 const std::shared_ptr<const core::Error>& error) {
    if (error) {
        archiver.encodeObject(key, Holder<core::Error>(kErrorClass, error));
    }
}

std::shared_ptr<const url::URLRequest> decodeRequest(core::KeyedUnarchiver& coder,
                                                     std::string_view key) {
    return decodeHeld<url::URLRequest>(coder, key);
}

std::shared_ptr<const url::URLResponse> decodeResponse(core::KeyedUnarchiver& coder,
                                                       std::string_view key) {
    return decodeHeld<url::URLResponse>(coder, key);
}

std::shared_ptr<const core::Error> decodeError(core::KeyedUnarchiver& coder, std::string_view key) {
    return decodeHeld<core::Error>(coder, key);
}

}  // namespace net
