#include "net/ui/ImageRequestOperation.h"

#include <set>
#include <string>
#include <utility>

#include "net/NetworkingErrors.h"
#include "platform/ui/Screen.h"

namespace net {

namespace {

bool hasImageExtension(const url::URLRequest& request) {
    // Never destroyed: requests may be classified on any thread while the process exits.
    static const auto& extensions = *new const std::set<std::string>{
        "tif", "tiff", "jpg", "jpeg", "gif", "png", "ico", "bmp", "cur"};
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
    : TypedRequestOperation(request), scale_(ui::Screen::main().scale()) {
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

namespace {

ImageRequestOperation::ImagePtr decodeImage(const std::shared_ptr<const core::Bytes>& body,
                                            std::shared_ptr<const core::Error>& error) {
    auto decoded = ui::Image::create(*body);
    if (decoded) {
        return std::move(decoded).value();
    }
    core::Error failure(std::string(NetworkingErrorDomain),
                        static_cast<std::int64_t>(NetworkingErrorCode::CannotDecodeContentData));
    failure.set(core::LocalizedDescriptionKey,
                core::Value("The body is not an image: " + decoded.error().localizedDescription()));
    error = std::make_shared<const core::Error>(std::move(failure));
    return nullptr;
}

}  // namespace

ImageRequestOperation::ImagePtr ImageRequestOperation::responseImage() const {
    auto decoded = decoded_.get(*this, decodeImage);
    std::lock_guard lock(imageMutex_);
    if (!image_ && decoded) {
        image_ = ui::Image::create(*decoded, scale_, decoded->orientation());
    }
    return image_;
}

std::shared_ptr<const core::Error> ImageRequestOperation::error() const {
    if (auto decodeError = decoded_.error()) {
        return decodeError;
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

std::shared_ptr<core::DispatchQueue> ImageRequestOperation::bodyProcessingQueue() const {
    return processingQueue();
}

std::any ImageRequestOperation::processedObject() const {
    return HTTPRequestOperation::error() ? nullptr : responseImage();
}

}  // namespace net
