#include "platform/ui/TestCamera.h"

#include <algorithm>

namespace ui {

std::shared_ptr<TestCamera> TestCamera::create() {
    return std::shared_ptr<TestCamera>(new TestCamera());
}

bool TestCamera::isAvailable() const {
    std::lock_guard lock(mutex_);
    return available_;
}

void TestCamera::setAvailable(bool available) {
    std::lock_guard lock(mutex_);
    available_ = available;
}

void TestCamera::enqueue(core::Expected<ImagePtr> result) {
    std::lock_guard lock(mutex_);
    results_.push_back(std::move(result));
}

int TestCamera::captureCount() const {
    std::lock_guard lock(mutex_);
    return captures_;
}

core::Expected<ImagePtr> TestCamera::capture() {
    std::lock_guard lock(mutex_);
    ++captures_;
    if (!available_) {
        return error(CameraError::Unavailable, "The test camera is switched off");
    }
    if (!results_.empty()) {
        core::Expected<ImagePtr> result = std::move(results_.front());
        results_.pop_front();
        return result;
    }
    auto bitmap = std::make_shared<Bitmap>(320, 240, PixelFormat::RGB8);
    std::fill(bitmap->pixels().begin(), bitmap->pixels().end(), 128);
    return Image::create(std::move(bitmap));
}

}  // namespace ui
