#include "shell/desktop/CameraPreview.h"

#include "platform/ui/CameraDevice.h"

namespace shell {

std::shared_ptr<ui::ImageView> CameraPreview::shownIn(const ui::Window& window) {
    auto view = const_cast<ui::Window&>(window).viewWithIdentifier(kPreviewIdentifier);
    auto preview = std::dynamic_pointer_cast<ui::ImageView>(view);
    return preview && preview->isVisibleOnScreen() ? preview : nullptr;
}

CameraPreview::~CameraPreview() {
    *alive_ = false;
    if (due_) {
        due_->invalidate();
    }
}

void CameraPreview::update(const ui::Window& window) {
    auto camera = ui::CameraDevice::current();
    auto preview = shownIn(window);
    if (capturing_ || due_ || !preview || !camera || !camera->isAvailable()) {
        return;
    }
    capturing_ = true;
    std::weak_ptr<ui::ImageView> target = preview;
    std::weak_ptr<bool> alive = alive_;
    camera->takePicture([this, target, alive](core::Expected<ui::ImagePtr> picture) {
        if (alive.expired()) {
            return;  // the window closed while the device was busy
        }
        capturing_ = false;
        if (auto view = target.lock(); view && picture) {
            view->setImage(*picture);
            ++frames_;
        }
        // The next frame waits its turn, so a fast device cannot keep the loop busy.
        due_ = core::Timer::scheduled(interval_, core::Timer::Repeats::No,
                                      [this](core::Timer&) { due_.reset(); });
    });
}

}  // namespace shell
