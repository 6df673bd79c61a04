#pragma once

#include <string_view>

namespace net {

// The HTTP layer's own errors: a status or content type the operation does not accept, a
// body that could not be built or stored.
inline constexpr std::string_view NetworkingErrorDomain = "NetworkingErrorDomain";

// Under these keys an HTTP-layer error carries the request and the response that failed.
inline constexpr std::string_view NetworkingOperationFailingURLRequestErrorKey =
    "NetworkingOperationFailingURLRequestErrorKey";
inline constexpr std::string_view NetworkingOperationFailingURLResponseErrorKey =
    "NetworkingOperationFailingURLResponseErrorKey";

// Posted with the operation as object, synchronously, by the thread that changes its state.
inline constexpr std::string_view URLConnectionOperationStartNotification =
    "com.corvane.networking.operation.start";
inline constexpr std::string_view URLConnectionOperationFinishNotification =
    "com.corvane.networking.operation.finish";

// Codes of NetworkingErrorDomain; the values are the platform's URL error codes of the same
// meaning.
enum class NetworkingErrorCode : long {
    MultipartBodyFailed = -1000,
    BadServerResponse = -1011,
    CannotDecodeContentData = -1016,
};

}  // namespace net
