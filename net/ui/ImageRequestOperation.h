#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "net/operations/ParsedBody.h"
#include "net/operations/TypedRequestOperation.h"
#include "platform/core/DispatchQueue.h"
#include "platform/ui/Image.h"

namespace net {

// An HTTP request operation whose body is an image, decoded by the UI layer on a serial
// queue shared by every image operation. The success block receives the image
// (std::shared_ptr<ui::Image>) as its response object. A body that does not decode fails
// with NetworkingErrorCode::CannotDecodeContentData rather than succeeding with no image.
class ImageRequestOperation : public TypedRequestOperation {
public:
    using ImagePtr = std::shared_ptr<ui::Image>;
    using ProcessingBlock = std::function<ImagePtr(const ImagePtr& image)>;
    using Success = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const ImagePtr& image)>;
    using Failure = std::function<void(const std::shared_ptr<const url::URLRequest>& request,
                                       const std::shared_ptr<const url::URLResponse>& response,
                                       const core::Error& error)>;

    static constexpr const char* kProcessingQueueLabel =
        "com.corvane.networking.image-request.processing";

    static std::shared_ptr<ImageRequestOperation> create(const url::URLRequest& request);
    // With a processing block, the image is processed on the image queue before `success`
    // sees it. Not started.
    static std::shared_ptr<ImageRequestOperation> imageRequestOperationWithRequest(
        const url::URLRequest& request, ProcessingBlock processing, Success success,
        Failure failure);
    static std::shared_ptr<ImageRequestOperation> imageRequestOperationWithRequest(
        const url::URLRequest& request, std::function<void(const ImagePtr& image)> success);

    // Accepts the common image types, "image/ico" and "image/x-icon" both; claims URL paths
    // with the extensions tif, tiff, jpg, jpeg, gif, png, ico, bmp and cur.
    static const OperationClass& staticClass();
    const OperationClass& operationClass() const override { return staticClass(); }
    static std::shared_ptr<core::DispatchQueue> processingQueue();

    // Decoded once from the finished body, at imageScale(); null before, or when the body is
    // not an image.
    ImagePtr responseImage() const;
    std::shared_ptr<const core::Error> error() const override;
    // The main screen's scale after creation. A different value drops the held image; the
    // next responseImage() rewraps the decoded pixels at the new scale.
    double imageScale() const;
    void setImageScale(double scale);

protected:
    explicit ImageRequestOperation(const url::URLRequest& request);
    std::shared_ptr<core::DispatchQueue> bodyProcessingQueue() const override;
    // Decodes only an answer that was accepted: a refused one fails without the work.
    std::any processedObject() const override;

private:
    ParsedBody<ImagePtr> decoded_;  // at scale 1
    mutable std::mutex imageMutex_;
    double scale_;            // guarded by imageMutex_
    mutable ImagePtr image_;  // guarded by imageMutex_
};

}  // namespace net
