#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"

namespace ui {

class ImagePickerController;

// The platform's numbering of picker sources.
enum class ImagePickerSourceType { PhotoLibrary = 0, Camera = 1, SavedPhotosAlbum = 2 };

// Information about a picked or taken picture; the picture itself is under the original
// image key.
using MediaInfo = std::map<std::string, std::shared_ptr<core::Object>, std::less<>>;
inline constexpr std::string_view ImagePickerControllerOriginalImage =
    "ImagePickerControllerOriginalImage";

class ImagePickerControllerDelegate {
public:
    virtual ~ImagePickerControllerDelegate() = default;
    virtual void didFinishPickingMediaWithInfo(ImagePickerController&, const MediaInfo&) {}
    virtual void imagePickerControllerDidCancel(ImagePickerController&) {}
    // A capture that brought no picture (the camera failed or is gone): a delegate that
    // disabled its controls for the capture gets them back from here.
    virtual void didFailToTakePicture(ImagePickerController&, const core::Error&) {}
};

// Lets the user pick a picture from the photo library or take one with the camera. The
// picker stays up after each picture; its presenter removes it. Its delegate also hears the
// navigation callbacks when it implements NavigationControllerDelegate. Main thread.
class ImagePickerController : public NavigationController {
public:
    static std::shared_ptr<ImagePickerController> create();

    // The library is available when its folder exists; the camera when a camera device is.
    static bool isSourceTypeAvailable(ImagePickerSourceType type);

    ImagePickerSourceType sourceType() const { return sourceType_; }
    void setSourceType(ImagePickerSourceType type);

    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate);
    std::shared_ptr<ImagePickerControllerDelegate> pickerDelegate() const {
        return delegate_.lock();
    }

    // The camera's own shutter and cancel controls.
    bool showsCameraControls() const { return showsCameraControls_; }
    void setShowsCameraControls(bool shows);
    // A view laid over the camera picture, as large as the picker; its children are shown
    // and touched above the camera picture.
    std::shared_ptr<View> cameraOverlayView() const { return overlay_; }

    // Starts a capture; the picture reaches the delegate later, on the main thread. A failed
    // capture is logged and reaches the delegate's didFailToTakePicture, also on the main
    // thread and never from inside this call.
    void takePicture();
    // What a tap on library item `index` does: the picture goes to the delegate at once.
    core::Expected<void> pickLibraryItem(std::size_t index);
    // What the picker's own cancel control does.
    void cancel();

    // Captures started and not yet delivered.
    int pendingCaptures() const { return pendingCaptures_; }

private:
    ImagePickerController();
    void rebuildContent();
    void deliver(const ImagePtr& image);
    void reportFailure(const core::Error& error);

    ImagePickerSourceType sourceType_ = ImagePickerSourceType::PhotoLibrary;
    std::weak_ptr<ImagePickerControllerDelegate> delegate_;
    bool showsCameraControls_ = true;
    std::shared_ptr<View> overlay_;
    int pendingCaptures_ = 0;
};

using ImagePickerControllerPtr = std::shared_ptr<ImagePickerController>;

}  // namespace ui
