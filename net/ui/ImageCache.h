#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/ui/Image.h"
#include "platform/url/URLRequest.h"

namespace net {

// Decoded images by the absolute string of their request's URL. Bounded by the bytes of the
// decoded pixels: when an image would exceed the limit, the least recently used entries go.
// Safe from any thread.
class ImageCache {
public:
    static constexpr std::size_t kDefaultCostLimit = 64u << 20;

    explicit ImageCache(std::size_t costLimit = kDefaultCostLimit);

    // None for a request that ignores local cache data (policies 1 and 4), or whose URL is
    // not stored.
    std::shared_ptr<ui::Image> cachedImageForRequest(const url::URLRequest& request);
    // Replaces an earlier entry; nothing without an image or a URL. An image larger than the
    // whole limit is not kept.
    void cacheImage(const std::shared_ptr<ui::Image>& image, const url::URLRequest& request);

    std::size_t costLimit() const;
    void setCostLimit(std::size_t limit);
    std::size_t totalCost() const;
    std::size_t count() const;
    void removeAllObjects();

    // What an image costs: four bytes per stored pixel.
    static std::size_t costOf(const ui::Image& image);

private:
    struct Entry {
        std::string key;
        std::shared_ptr<ui::Image> image;
        std::size_t cost;
    };
    using Order = std::list<Entry>;  // most recently used first

    void evictLocked();

    mutable std::mutex mutex_;
    std::size_t costLimit_;                                   // guarded by mutex_
    std::size_t totalCost_ = 0;                               // guarded by mutex_
    Order order_;                                             // guarded by mutex_
    std::unordered_map<std::string, Order::iterator> index_;  // guarded by mutex_
};

}  // namespace net
