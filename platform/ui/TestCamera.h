#pragma once

#include <deque>
#include <memory>
#include <mutex>

#include "platform/ui/CameraDevice.h"

namespace ui {

// A camera for tests: serves queued results in order, then a plain 320 x 240 picture for
// every further capture, and counts captures.
class TestCamera : public CameraDevice {
public:
    static std::shared_ptr<TestCamera> create();

    std::string name() const override { return "Test camera"; }
    bool isAvailable() const override;
    core::Expected<ImagePtr> capture() override;

    void setAvailable(bool available);
    void enqueue(core::Expected<ImagePtr> result);
    int captureCount() const;

private:
    TestCamera() = default;

    mutable std::mutex mutex_;
    bool available_ = true;                         // guarded by mutex_
    std::deque<core::Expected<ImagePtr>> results_;  // guarded by mutex_
    int captures_ = 0;                              // guarded by mutex_
};

}  // namespace ui
