#include "net/ui/ImageRequestOperation.h"

#include <set>
#include <string>
#include <utility>

#include "net/NetworkingErrors.h"
#include "platform/ui/Screen.h"

namespace net {

namespace {

bool hasImageExtension(const url::URLRequest& request) {
    static const std::set<std::string> extensions{"tif", "tiff", "jpg", "jpeg", "gif",
                                                  "png", "ico",  "bmp", "cur"};
    return request.url() && extensions.contains(request.url()->pathExtension());
}

}  // namespace

const OperationClass& ImageRequestOperation::staticClass() {
    static const OperationClass descriptor(
        "ImageRequestOperation", &HTTPRequestOperation::staticClass(),
        [](std::shared_ptr<const url::URLRequest> request) {
            return std::shared_ptr<URLConnectionOperation>(new ImageRequestOperation(*request));
        },
        [](const OperationClass& self, const url::URLRequest& request) {
            return hasImageExtension(request) || OperationClass::acceptHeaderMatches(self, request);
        });
    static const bool defaults = [] {
        descriptor.setAcceptableContentTypes(OperationClass::ContentTypes{
            "image/tiff", "image/jpeg", "image/gif", "image/png", "image/ico", "image/x-icon",
            "image/bmp", "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"});
        return true;
    }();
    (void)defaults;
    return descriptor;
}

std::shared_ptr<core::DispatchQueue> ImageRequestOperation::processingQueue() {
    static const auto queue = core::DispatchQueue::createSerial(kProcessingQueueLabel);
    return queue;
}

std::shared_ptr<ImageRequestOperation> ImageRequestOperation::create(
    const url::URLRequest& request) {
    return std::shared_ptr<ImageRequestOperation>(new ImageRequestOperation(request));
}

ImageRequestOperation::ImageRequestOperation(const url::URLRequest& request)
    : HTTPRequestOperation(request), scale_(ui::Screen::main().scale()) {
    staticClass();
}

std::shared_ptr<ImageRequestOperation> ImageRequestOperation::imageRequestOperationWithRequest(
    const url::URLRequest& request, ProcessingBlock processing, Success success, Failure failure) {
    auto operation = create(request);
    SuccessBlock onSuccess;
    if (success) {
        onSuccess = [processing = std::move(processing), success = std::move(success)](
                        const auto& self, const std::any& object) {
            auto image = std::any_cast<ImagePtr>(object);
            if (!processing) {
                success(self->request(), self->response(), image);
                return;
            }
            processingQueue()->async([self, processing, success, image] {
                auto processed = processing(image);
                auto* typed = static_cast<ImageRequestOperation*>(self.get());
                typed->queueForSuccess()->async([self, success, processed] {
                    success(self->request(), self->response(), processed);
                });
            });
        };
    }
    FailureBlock onFailure;
    if (failure) {
        onFailure = [failure = std::move(failure)](const auto& self, const core::Error& error) {
            failure(self->request(), self->response(), error);
        };
    }
    operation->setCompletionBlockWithSuccess(std::move(onSuccess), std::move(onFailure));
    return operation;
}

std::shared_ptr<ImageRequestOperation> ImageRequestOperation::imageRequestOperationWithRequest(
    const url::URLRequest& request, std::function<void(const ImagePtr& image)> success) {
    Success adapter;
    if (success) {
        adapter = [success = std::move(success)](const auto&, const auto&, const ImagePtr& image) {
            success(image);
        };
    }
    return imageRequestOperationWithRequest(request, nullptr, std::move(adapter), nullptr);
}

ImageRequestOperation::ImagePtr ImageRequestOperation::responseImage() const {
    std::lock_guard lock(imageMutex_);
    if (image_ || decodeError_ || !isFinished()) {
        return image_;
    }
    if (!decoded_) {
        auto body = responseData();
        if (!body || body->empty()) {
            return nullptr;
        }
        auto decoded = ui::Image::create(*body);
        if (!decoded) {
            core::Error error(
                std::string(NetworkingErrorDomain),
                static_cast<std::int64_t>(NetworkingErrorCode::CannotDecodeContentData));
            error.set(
                core::LocalizedDescriptionKey,
                core::Value("The body is not an image: " + decoded.error().localizedDescription()));
            decodeError_ = std::make_shared<const core::Error>(std::move(error));
            return nullptr;
        }
        decoded_ = std::move(decoded).value();
    }
    image_ = ui::Image::create(*decoded_, scale_, decoded_->orientation());
    return image_;
}

std::shared_ptr<const core::Error> ImageRequestOperation::error() const {
    {
        std::lock_guard lock(imageMutex_);
        if (decodeError_) {
            return decodeError_;
        }
    }
    return HTTPRequestOperation::error();
}

double ImageRequestOperation::imageScale() const {
    std::lock_guard lock(imageMutex_);
    return scale_;
}

void ImageRequestOperation::setImageScale(double scale) {
    std::lock_guard lock(imageMutex_);
    if (scale == scale_) {
        return;
    }
    scale_ = scale;
    image_.reset();
}

void ImageRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success,
                                                          FailureBlock failure) {
    auto self = std::static_pointer_cast<ImageRequestOperation>(shared_from_this());
    setCompletionBlock([self, success = std::move(success), failure = std::move(failure)] {
        if (self->isCancelled()) {
            return;
        }
        processingQueue()->async([self, success, failure] {
            // Decoding first lets a body that is not an image fail like any other fault.
            auto image = self->HTTPRequestOperation::error() ? nullptr : self->responseImage();
            if (auto error = self->error()) {
                if (failure) {
                    self->queueForFailure()->async(
                        [self, failure, error] { failure(self, *error); });
                }
            } else if (success) {
                self->queueForSuccess()->async([self, success, image] { success(self, image); });
            }
        });
    });
}

}  // namespace net
