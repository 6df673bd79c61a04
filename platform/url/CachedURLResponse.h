#pragma once

#include <memory>

#include "platform/core/Bytes.h"
#include "platform/core/Object.h"
#include "platform/url/URLResponse.h"

namespace url {

enum class URLCacheStoragePolicy : int { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

// An answer with its body, as offered for caching.
class CachedURLResponse : public core::Object {
public:
    CachedURLResponse(std::shared_ptr<const URLResponse> response, core::Bytes data,
                      URLCacheStoragePolicy storagePolicy = URLCacheStoragePolicy::Allowed)
        : response_(std::move(response)), data_(std::move(data)), storagePolicy_(storagePolicy) {}

    const std::shared_ptr<const URLResponse>& response() const { return response_; }
    const core::Bytes& data() const { return data_; }
    URLCacheStoragePolicy storagePolicy() const { return storagePolicy_; }

private:
    std::shared_ptr<const URLResponse> response_;
    core::Bytes data_;
    URLCacheStoragePolicy storagePolicy_;
};

}  // namespace url
