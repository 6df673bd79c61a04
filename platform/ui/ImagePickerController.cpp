#include "platform/ui/ImagePickerController.h"

#include "platform/core/DispatchQueue.h"
#include "platform/core/Log.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/CameraViewController.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/PhotoAlbum.h"
#include "platform/ui/PhotoGridViewController.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Screen.h"

namespace ui {

ImagePickerController::ImagePickerController() : overlay_(View::create(Screen::main().bounds())) {
    overlay_->setIdentifier("cameraOverlay");
}

std::shared_ptr<ImagePickerController> ImagePickerController::create() {
    auto picker = std::shared_ptr<ImagePickerController>(new ImagePickerController());
    picker->rebuildContent();
    return picker;
}

bool ImagePickerController::isSourceTypeAvailable(ImagePickerSourceType type) {
    switch (type) {
        case ImagePickerSourceType::PhotoLibrary:
            return PhotoLibrary::current()->exists();
        case ImagePickerSourceType::Camera:
            return CameraDevice::isCameraAvailable();
        case ImagePickerSourceType::SavedPhotosAlbum:
            return PhotoLibrary::create(PhotoAlbum::savedPhotos()->folder())->exists();
    }
    return false;
}

void ImagePickerController::setSourceType(ImagePickerSourceType type) {
    assertMainThread();
    if (type == sourceType_) {
        return;
    }
    sourceType_ = type;
    rebuildContent();
}

void ImagePickerController::rebuildContent() {
    std::weak_ptr<ImagePickerController> weak =
        std::static_pointer_cast<ImagePickerController>(shared_from_this());
    if (sourceType_ == ImagePickerSourceType::Camera) {
        setNavigationBarHidden(true);
        setViewControllers({CameraViewController::create(weak)}, Animated::No);
    } else {
        setNavigationBarHidden(false);
        setViewControllers({PhotoGridViewController::create(weak)}, Animated::No);
    }
}

void ImagePickerController::setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate) {
    delegate_ = delegate;
    NavigationController::setDelegate(
        std::dynamic_pointer_cast<NavigationControllerDelegate>(delegate.lock()));
}

void ImagePickerController::setShowsCameraControls(bool shows) {
    showsCameraControls_ = shows;
    if (auto camera = std::dynamic_pointer_cast<CameraViewController>(topViewController())) {
        camera->setShowsCameraControls(shows);
    }
}

void ImagePickerController::deliver(const ImagePtr& image) {
    auto protectedThis = shared_from_this();
    if (auto delegate = pickerDelegate()) {
        MediaInfo info{{std::string(ImagePickerControllerOriginalImage), image}};
        delegate->didFinishPickingMediaWithInfo(*this, info);
    }
}

void ImagePickerController::takePicture() {
    assertMainThread();
    auto camera = CameraDevice::current();
    std::weak_ptr<ImagePickerController> weak =
        std::static_pointer_cast<ImagePickerController>(shared_from_this());
    if (sourceType_ != ImagePickerSourceType::Camera || !camera || !camera->isAvailable()) {
        core::log("takePicture: the picker shows no camera");
        // Later, like any capture result: callers may still be setting up for this capture.
        core::DispatchQueue::main()->async([weak] {
            if (auto self = weak.lock()) {
                self->reportFailure(
                    CameraDevice::error(CameraError::Unavailable, "the picker shows no camera"));
            }
        });
        return;
    }
    ++pendingCaptures_;
    camera->takePicture([weak](core::Expected<ImagePtr> picture) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        --self->pendingCaptures_;
        if (!picture) {
            core::log("Could not take a picture: " + picture.error().localizedDescription());
            self->reportFailure(picture.error());
            return;
        }
        self->deliver(*picture);
    });
}

void ImagePickerController::reportFailure(const core::Error& error) {
    auto protectedThis = shared_from_this();
    if (auto delegate = pickerDelegate()) {
        delegate->didFailToTakePicture(*this, error);
    }
}

core::Expected<void> ImagePickerController::pickLibraryItem(std::size_t index) {
    assertMainThread();
    auto items = PhotoLibrary::current()->items();
    if (index >= items.size()) {
        return core::Error(
            "ImagePickerErrorDomain", 1,
            {{std::string(core::LocalizedDescriptionKey),
              core::Value("the photo library has no item " + std::to_string(index))}});
    }
    auto image = PhotoLibrary::load(items[index]);
    if (!image) {
        return image.error();
    }
    deliver(*image);
    return {};
}

void ImagePickerController::cancel() {
    auto protectedThis = shared_from_this();
    if (auto delegate = pickerDelegate()) {
        delegate->imagePickerControllerDidCancel(*this);
    }
}

}  // namespace ui
