#pragma once

#include "platform/ui/Image.h"

namespace app {

// What the camera overlay tells the screen that shows it.
class OverlayViewControllerDelegate {
public:
    virtual ~OverlayViewControllerDelegate() = default;
    // A picture has arrived from the picker, at full size.
    virtual void didTakePicture(const ui::ImagePtr& picture) = 0;
    // A capture has ended, or the picker was cancelled.
    virtual void didFinishWithCamera() = 0;
};

}  // namespace app
