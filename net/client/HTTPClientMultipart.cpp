#include "net/client/HTTPClient.h"
#include "net/client/MultipartFormData.h"
#include "platform/core/StringEncoding.h"

namespace net {

namespace {

// Raw bytes go as they are; any other leaf as its text. A text the encoding cannot write
// gives no part.
std::optional<core::Bytes> partData(const core::Value& value, StringEncodingId encoding) {
    if (const core::Bytes* bytes = value.asBytes()) {
        return *bytes;
    }
    return core::encodeString(value.description(), static_cast<core::StringEncoding>(encoding));
}

}  // namespace

url::MutableURLRequest HTTPClient::multipartFormRequest(
    const std::string& method, const std::string& path, const Parameters& parameters,
    const std::function<void(MultipartFormData&)>& constructingBodyWith) const {
    StreamingMultipartFormData builder(requestWithMethod(method, path, std::nullopt),
                                       stringEncoding());
    if (parameters) {
        for (const QueryStringPair& pair :
             FlattenParameters(std::nullopt, core::Value(*parameters))) {
            if (auto data = partData(pair.value(), stringEncoding())) {
                builder.appendPartWithFormData(std::move(*data), pair.field());
            }
        }
    }
    if (constructingBodyWith) {
        constructingBodyWith(builder);
    }
    return builder.requestByFinalizingMultipartFormData();
}

}  // namespace net
