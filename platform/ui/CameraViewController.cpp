#include "platform/ui/CameraViewController.h"

#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Screen.h"

namespace ui {

namespace {

constexpr double kControlsHeight = 54;

}  // namespace

CameraViewController::CameraViewController(std::weak_ptr<ImagePickerController> picker)
    : ViewController({}), picker_(std::move(picker)) {}

std::shared_ptr<CameraViewController> CameraViewController::create(
    std::weak_ptr<ImagePickerController> picker) {
    return std::shared_ptr<CameraViewController>(new CameraViewController(std::move(picker)));
}

std::shared_ptr<View> CameraViewController::loadView() {
    Rect bounds = Screen::main().bounds();
    auto root = View::create(bounds);
    root->setBackgroundColor(Color::black());
    preview_ = ImageView::create(bounds);
    preview_->setContentMode(ContentMode::ScaleAspectFill);
    preview_->setIdentifier("cameraPreview");
    root->addSubview(preview_);

    controls_ = Toolbar::create(
        Rect(0, bounds.height() - kControlsHeight, bounds.width(), kControlsHeight));
    controls_->setBarStyle(BarStyle::Black);
    controls_->setIdentifier("cameraControls");
    auto picker = picker_;
    auto shutter = BarButtonItem::create("Take Picture", BarButtonItemStyle::Bordered,
                                         [picker](const std::shared_ptr<core::Object>&) {
                                             if (auto strong = picker.lock()) {
                                                 strong->takePicture();
                                             }
                                         });
    auto cancel = BarButtonItem::create("Cancel", BarButtonItemStyle::Bordered,
                                        [picker](const std::shared_ptr<core::Object>&) {
                                            if (auto strong = picker.lock()) {
                                                strong->cancel();
                                            }
                                        });
    controls_->setItems(
        {cancel, BarButtonItem::create(BarButtonSystemItem::FlexibleSpace), shutter});
    root->addSubview(controls_);
    if (auto strong = picker_.lock()) {
        auto overlay = strong->cameraOverlayView();
        overlay->setFrame(bounds);
        root->addSubview(overlay);
        controls_->setHidden(!strong->showsCameraControls());
    }
    return root;
}

void CameraViewController::setShowsCameraControls(bool shows) {
    if (controls_) {
        controls_->setHidden(!shows);
    }
}

}  // namespace ui
