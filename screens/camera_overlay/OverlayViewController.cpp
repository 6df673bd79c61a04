#include "screens/camera_overlay/OverlayViewController.h"

#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/NavigationItem.h"

namespace app {

std::shared_ptr<OverlayViewController> OverlayViewController::create() {
    auto overlay = std::shared_ptr<OverlayViewController>(new OverlayViewController());
    overlay->picker_->setDelegate(overlay);
    return overlay;
}

OverlayViewController::OverlayViewController()
    : ui::ViewController("OverlayViewController"), picker_(ui::ImagePickerController::create()) {}

const ui::ConnectionTable* OverlayViewController::connectionTable() const {
    using Self = OverlayViewController;
    using Table = ui::OutletTable<Self>;
    static const Table table{Table::outlet("takePictureButton", &Self::takePictureButton_),
                             Table::outlet("timedButton", &Self::timedButton_),
                             Table::outlet("startStopButton", &Self::startStopButton_),
                             Table::outlet("cancelButton", &Self::cancelButton_),
                             Table::action("takePhoto", &Self::takePhoto),
                             Table::action("timedTakePhoto", &Self::timedTakePhoto),
                             Table::action("startStop", &Self::startStop),
                             Table::action("done", &Self::done)};
    return &table;
}

void OverlayViewController::setupImagePicker(ui::ImagePickerSourceType sourceType) {
    picker_->setSourceType(sourceType);
    if (sourceType != ui::ImagePickerSourceType::Camera) {
        return;
    }
    picker_->setShowsCameraControls(false);
    auto overlay = picker_->cameraOverlayView();
    if (!overlay->subviews().empty()) {
        return;
    }
    auto toolbar = view();
    double width = overlay->frame().width();
    double height = overlay->frame().height();
    double designed = toolbar->frame().height();
    toolbar->setFrame(ui::Rect(0, height - designed - 10, width, designed + 10));
    overlay->addSubview(toolbar);
}

void OverlayViewController::takePhoto(const std::shared_ptr<core::Object>&) {
    picker_->takePicture();
}

void OverlayViewController::timedTakePhoto(const std::shared_ptr<core::Object>&) {
    cancelButton_->setEnabled(false);
    takePictureButton_->setEnabled(false);
    timedButton_->setEnabled(false);
    startStopButton_->setEnabled(false);
    if (cameraTimer_) {
        cameraTimer_->invalidate();
    }
    startTimer(kDelayedPictureInterval, Capture::Delayed);
}

void OverlayViewController::startStop(const std::shared_ptr<core::Object>&) {
    if (isTimerRunning()) {
        stopTimer();
        finishAndUpdate();
        return;
    }
    startStopButton_->setTitle("Stop");
    cancelButton_->setEnabled(false);
    timedButton_->setEnabled(false);
    takePictureButton_->setEnabled(false);
    startTimer(kContinuousInterval, Capture::Continuous);
    cameraTimer_->fire();
}

void OverlayViewController::startTimer(double interval, Capture capture) {
    std::weak_ptr<OverlayViewController> weak =
        std::static_pointer_cast<OverlayViewController>(shared_from_this());
    cameraTimer_ = core::Timer::scheduled(
        interval, core::Timer::Repeats::Yes,
        [weak](core::Timer& timer) {
            if (auto self = weak.lock()) {
                self->timedPhotoFire(timer);
            } else {
                timer.invalidate();
            }
        },
        static_cast<int>(capture));
}

void OverlayViewController::stopTimer() {
    if (cameraTimer_) {
        cameraTimer_->invalidate();
        cameraTimer_.reset();
    }
}

void OverlayViewController::timedPhotoFire(core::Timer&) {
    picker_->takePicture();
    int capture = 0;
    if (cameraTimer_) {
        if (const int* value = std::any_cast<int>(&cameraTimer_->userInfo())) {
            capture = *value;
        }
    }
    if (capture == static_cast<int>(Capture::Delayed)) {
        stopTimer();
    }
}

void OverlayViewController::didFinishPickingMediaWithInfo(ui::ImagePickerController&,
                                                          const ui::MediaInfo& info) {
    auto found = info.find(ui::ImagePickerControllerOriginalImage);
    auto picture =
        found == info.end() ? nullptr : std::dynamic_pointer_cast<ui::Image>(found->second);
    if (auto delegate = delegate_.lock()) {
        delegate->didTakePicture(picture);
    }
    if (!isTimerRunning()) {
        finishAndUpdate();
    }
    core::NotificationCenter::defaultCenter()->post(kImageNotification, picture);
}

void OverlayViewController::imagePickerControllerDidCancel(ui::ImagePickerController&) {
    if (auto delegate = delegate_.lock()) {
        delegate->didFinishWithCamera();
    }
}

void OverlayViewController::didFailToTakePicture(ui::ImagePickerController&,
                                                 const core::Error& error) {
    core::log("Capture failed: " + error.localizedDescription());
    // A timer would go on asking a failing camera while every control but Stop stays off;
    // back to Idle, with all controls on, so the user decides what to do next.
    stopTimer();
    finishAndUpdate();
}

void OverlayViewController::willShowViewController(ui::NavigationController&,
                                                   const ui::ViewControllerPtr& shown,
                                                   ui::Animated) {
    auto self = std::static_pointer_cast<OverlayViewController>(shared_from_this());
    shown->navigationItem()->setRightBarButtonItem(ui::BarButtonItem::create(
        "Done", ui::BarButtonItemStyle::Done, self, &OverlayViewController::done));
}

void OverlayViewController::finishAndUpdate() {
    core::log("Executing finishAndUpdate");
    if (auto delegate = delegate_.lock()) {
        delegate->didFinishWithCamera();
    }
    if (!cancelButton_) {
        return;  // the toolbar was never loaded: a gallery-only showing
    }
    setControlsEnabled(true);
    startStopButton_->setTitle("Start");
}

void OverlayViewController::setControlsEnabled(bool enabled) {
    cancelButton_->setEnabled(enabled);
    takePictureButton_->setEnabled(enabled);
    timedButton_->setEnabled(enabled);
    startStopButton_->setEnabled(enabled);
}

void OverlayViewController::done(const std::shared_ptr<core::Object>&) {
    core::log("Pressed Done");
    if (isTimerRunning()) {
        return;
    }
    finishAndUpdate();
    core::NotificationCenter::defaultCenter()->post(kCameraDoneNotification);
}

void OverlayViewController::didReceiveMemoryWarning() {
    ui::ViewController::didReceiveMemoryWarning();
    // A stopped timer with the controls still set up for it would leave nothing to press.
    if (isTimerRunning()) {
        stopTimer();
        finishAndUpdate();
    } else {
        stopTimer();
    }
}

}  // namespace app
