#pragma once

#include <memory>

#include "platform/ui/ImageView.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"

namespace ui {

class ImagePickerController;

// The image picker's camera screen: the camera picture, the camera's own controls (shutter
// and cancel) along the bottom, and the picker's overlay view above both.
class CameraViewController : public ViewController {
public:
    static std::shared_ptr<CameraViewController> create(
        std::weak_ptr<ImagePickerController> picker);

    std::shared_ptr<ImageView> preview() const { return preview_; }
    std::shared_ptr<Toolbar> cameraControls() const { return controls_; }
    void setShowsCameraControls(bool shows);

protected:
    std::shared_ptr<View> loadView() override;

private:
    explicit CameraViewController(std::weak_ptr<ImagePickerController> picker);

    std::weak_ptr<ImagePickerController> picker_;
    std::shared_ptr<ImageView> preview_;
    std::shared_ptr<Toolbar> controls_;
};

}  // namespace ui
