#include "net/ui/ImageCache.h"

namespace net {

namespace {

bool ignoresLocalData(const url::URLRequest& request) {
    const int policy = static_cast<int>(request.cachePolicy());
    return policy == 1 || policy == 4;
}

}  // namespace

ImageCache::ImageCache(std::size_t costLimit) : costLimit_(costLimit) {}

std::size_t ImageCache::costOf(const ui::Image& image) {
    return static_cast<std::size_t>(image.pixelWidth()) *
           static_cast<std::size_t>(image.pixelHeight()) * 4;
}

std::shared_ptr<ui::Image> ImageCache::cachedImageForRequest(const url::URLRequest& request) {
    if (ignoresLocalData(request) || !request.url()) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto found = index_.find(request.url()->absoluteString());
    if (found == index_.end()) {
        return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second);
    return found->second->image;
}

void ImageCache::cacheImage(const std::shared_ptr<ui::Image>& image,
                            const url::URLRequest& request) {
    if (!image || !request.url()) {
        return;
    }
    const std::string& key = request.url()->absoluteString();
    const std::size_t cost = costOf(*image);
    std::lock_guard lock(mutex_);
    if (auto found = index_.find(key); found != index_.end()) {
        totalCost_ -= found->second->cost;
        order_.erase(found->second);
        index_.erase(found);
    }
    if (cost > costLimit_) {
        return;
    }
    order_.push_front(Entry{key, image, cost});
    index_.emplace(key, order_.begin());
    totalCost_ += cost;
    evictLocked();
}

void ImageCache::evictLocked() {
    while (totalCost_ > costLimit_ && !order_.empty()) {
        totalCost_ -= order_.back().cost;
        index_.erase(order_.back().key);
        order_.pop_back();
    }
}

std::size_t ImageCache::costLimit() const {
    std::lock_guard lock(mutex_);
    return costLimit_;
}

void ImageCache::setCostLimit(std::size_t limit) {
    std::lock_guard lock(mutex_);
    costLimit_ = limit;
    evictLocked();
}

std::size_t ImageCache::totalCost() const {
    std::lock_guard lock(mutex_);
    return totalCost_;
}

std::size_t ImageCache::count() const {
    std::lock_guard lock(mutex_);
    return order_.size();
}

void ImageCache::removeAllObjects() {
    std::lock_guard lock(mutex_);
    order_.clear();
    index_.clear();
    totalCost_ = 0;
}

}  // namespace net
