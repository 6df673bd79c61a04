#pragma once

#include <functional>
#include <memory>

#include "net/ui/ImageCache.h"
#include "net/ui/ImageRequestOperation.h"
#include "platform/core/OperationQueue.h"
#include "platform/ui/ImageView.h"
#include "platform/url/URL.h"
#include "platform/url/URLRequest.h"

namespace net {

// Fills image views from remote images: a cached copy at once when there is one, otherwise
// the placeholder while an image request runs on a queue shared by all views. A view shows
// only the image of the URL it asked for last; every downloaded image goes into the shared
// cache. Main thread only.
class ImageViewLoading {
public:
    using Success = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const std::shared_ptr<ui::Image>& image)>;
    using Failure = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const core::Error& error)>;

    // A GET asking for "image/*", without cookies.
    static void setImageWithURL(const std::shared_ptr<ui::ImageView>& view, const url::URL& url,
                                std::shared_ptr<ui::Image> placeholder = nullptr);
    // A cache hit calls `success` at once with no request and no response.
    static void setImageWithURLRequest(const std::shared_ptr<ui::ImageView>& view,
                                       const url::URLRequest& request,
                                       std::shared_ptr<ui::Image> placeholder, Success success,
                                       Failure failure);
    // Cancels the view's download, if any; its blocks will not run.
    static void cancelImageRequestOperation(const ui::ImageView& view);
    static std::shared_ptr<ImageRequestOperation> imageRequestOperation(const ui::ImageView& view);

    static std::shared_ptr<core::OperationQueue> sharedImageRequestOperationQueue();
    static std::shared_ptr<ImageCache> sharedImageCache();

private:
    static void setImageRequestOperation(const std::shared_ptr<ui::ImageView>& view,
                                         std::shared_ptr<ImageRequestOperation> operation);
};

}  // namespace net
