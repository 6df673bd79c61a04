#include "net/ui/ImageViewLoading.h"

#include <map>
#include <utility>

namespace net {

namespace {

struct Loading {
    std::weak_ptr<ui::ImageView> view;
    std::shared_ptr<ImageRequestOperation> operation;
};

// The operation of each view, by address; touched on the main thread only. Entries of views
// that are gone are dropped as new ones arrive.
std::map<const ui::ImageView*, Loading>& loadings() {
    static std::map<const ui::ImageView*, Loading> table;
    return table;
}

void pruneGoneViews() {
    auto& table = loadings();
    for (auto entry = table.begin(); entry != table.end();) {
        entry = entry->second.view.expired() ? table.erase(entry) : std::next(entry);
    }
}

std::optional<std::string> urlString(const std::shared_ptr<const url::URLRequest>& request) {
    if (!request || !request->url()) {
        return std::nullopt;
    }
    return request->url()->absoluteString();
}

}  // namespace

std::shared_ptr<core::OperationQueue> ImageViewLoading::sharedImageRequestOperationQueue() {
    static const auto queue = [] {
        auto made = core::OperationQueue::create("com.corvane.networking.image-view.queue");
        (void)made->setMaxConcurrentOperationCount(
            core::OperationQueue::kDefaultMaxConcurrentOperationCount);
        return made;
    }();
    return queue;
}

std::shared_ptr<ImageCache> ImageViewLoading::sharedImageCache() {
    static const auto cache = std::make_shared<ImageCache>();
    return cache;
}

std::shared_ptr<ImageRequestOperation> ImageViewLoading::imageRequestOperation(
    const ui::ImageView& view) {
    auto found = loadings().find(&view);
    return found == loadings().end() ? nullptr : found->second.operation;
}

void ImageViewLoading::setImageRequestOperation(const std::shared_ptr<ui::ImageView>& view,
                                                std::shared_ptr<ImageRequestOperation> operation) {
    if (!operation) {
        loadings().erase(view.get());
        return;
    }
    pruneGoneViews();
    loadings()[view.get()] = Loading{view, std::move(operation)};
}

void ImageViewLoading::cancelImageRequestOperation(const ui::ImageView& view) {
    auto found = loadings().find(&view);
    if (found == loadings().end()) {
        return;
    }
    if (found->second.operation) {
        found->second.operation->cancel();
    }
    loadings().erase(found);
}

void ImageViewLoading::setImageWithURL(const std::shared_ptr<ui::ImageView>& view,
                                       const url::URL& url,
                                       std::shared_ptr<ui::Image> placeholder) {
    url::MutableURLRequest request(url);
    request.setHTTPShouldHandleCookies(false);
    request.setValue("image/*", "Accept");
    setImageWithURLRequest(view, request, std::move(placeholder), nullptr, nullptr);
}

void ImageViewLoading::setImageWithURLRequest(const std::shared_ptr<ui::ImageView>& view,
                                              const url::URLRequest& request,
                                              std::shared_ptr<ui::Image> placeholder,
                                              Success success, Failure failure) {
    cancelImageRequestOperation(*view);
    auto cache = sharedImageCache();
    if (auto cached = cache->cachedImageForRequest(request)) {
        view->setImage(cached);
        if (success) {
            success(nullptr, nullptr, cached);
        }
        return;
    }
    view->setImage(std::move(placeholder));
    if (!request.url()) {
        return;
    }
    auto operation = ImageRequestOperation::create(request);
    std::weak_ptr<ui::ImageView> weakView = view;
    const std::string wanted = request.url()->absoluteString();
    operation->setCompletionBlockWithSuccess(
        [weakView, wanted, request, success, cache](const auto& self, const std::any& object) {
            auto image = std::any_cast<ImageRequestOperation::ImagePtr>(object);
            if (auto view = weakView.lock()) {
                auto current = imageRequestOperation(*view);
                if (current && urlString(current->request()) == wanted) {
                    view->setImage(image);
                    setImageRequestOperation(view, nullptr);
                }
            }
            if (success) {
                success(self->request(), self->response(), image);
            }
            cache->cacheImage(image, request);
        },
        [weakView, wanted, failure](const auto& self, const core::Error& error) {
            if (auto view = weakView.lock()) {
                auto current = imageRequestOperation(*view);
                if (current && urlString(current->request()) == wanted) {
                    setImageRequestOperation(view, nullptr);
                }
            }
            if (failure) {
                failure(self->request(), self->response(), error);
            }
        });
    setImageRequestOperation(view, operation);
    sharedImageRequestOperationQueue()->addOperation(operation);
}

}  // namespace net
