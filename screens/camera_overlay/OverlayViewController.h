#pragma once

#include <memory>

#include "platform/core/Timer.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/ViewController.h"
#include "screens/camera_overlay/OverlayViewControllerDelegate.h"

namespace app {

// Names of the notifications the overlay posts on the default center.
inline constexpr const char* kImageNotification = "IMAGE";            // object: the picture
inline constexpr const char* kCameraDoneNotification = "CAMERADONE";  // no object

// Owns the image picker and drives it: for the gallery it adds "Done" to the picker's bar;
// for the camera it lays its own toolbar over the picture, with a picture now, one picture
// after 5 s, pictures every 1.5 s until stopped, and finish. Main thread.
class OverlayViewController : public ui::ViewController,
                              public ui::ImagePickerControllerDelegate,
                              public ui::NavigationControllerDelegate {
public:
    static constexpr double kDelayedPictureInterval = 5.0;
    static constexpr double kContinuousInterval = 1.5;
    enum class Capture { Delayed = 0, Continuous = 1 };

    static std::shared_ptr<OverlayViewController> create();

    const ui::ConnectionTable* connectionTable() const override;

    void setDelegate(std::weak_ptr<OverlayViewControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    const std::shared_ptr<ui::ImagePickerController>& imagePickerController() const {
        return picker_;
    }

    void setupImagePicker(ui::ImagePickerSourceType sourceType);
    void takePhoto(const std::shared_ptr<core::Object>& sender);
    void timedTakePhoto(const std::shared_ptr<core::Object>& sender);
    void startStop(const std::shared_ptr<core::Object>& sender);
    void done(const std::shared_ptr<core::Object>& sender);
    void timedPhotoFire(core::Timer& timer);
    void finishAndUpdate();

    void didFinishPickingMediaWithInfo(ui::ImagePickerController& picker,
                                       const ui::MediaInfo& info) override;
    void imagePickerControllerDidCancel(ui::ImagePickerController& picker) override;
    void didFailToTakePicture(ui::ImagePickerController& picker, const core::Error& error) override;
    void willShowViewController(ui::NavigationController& navigation,
                                const ui::ViewControllerPtr& shown, ui::Animated animated) override;
    void didReceiveMemoryWarning() override;

    bool isTimerRunning() const { return cameraTimer_ && cameraTimer_->isValid(); }
    ui::BarButtonItemPtr takePictureButton() const { return takePictureButton_; }
    ui::BarButtonItemPtr timedButton() const { return timedButton_; }
    ui::BarButtonItemPtr startStopButton() const { return startStopButton_; }
    ui::BarButtonItemPtr cancelButton() const { return cancelButton_; }

private:
    OverlayViewController();
    void setControlsEnabled(bool enabled);
    void stopTimer();
    void startTimer(double interval, Capture capture);

    std::weak_ptr<OverlayViewControllerDelegate> delegate_;
    std::shared_ptr<ui::ImagePickerController> picker_;
    ui::BarButtonItemPtr takePictureButton_;
    ui::BarButtonItemPtr timedButton_;
    ui::BarButtonItemPtr startStopButton_;
    ui::BarButtonItemPtr cancelButton_;
    std::shared_ptr<core::Timer> cameraTimer_;
};

}  // namespace app
