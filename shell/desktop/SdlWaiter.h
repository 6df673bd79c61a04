#pragma once

#include <functional>
#include <memory>

#include "platform/core/RunLoopWaiter.h"

namespace shell {

// How the main run loop sleeps under an SDL window: on its own descriptors and the display
// connection at once, so timers, posted calls and window events all wake the same loop and
// an idle window costs nothing. Events SDL has already read off the connection would not make
// it readable again, so they count as the connection being ready. `beforeSleep` runs each time
// the loop is about to wait (the window draws then, if the picture changed).
class SdlWaiter : public core::RunLoopWaiter {
public:
    SdlWaiter(int displayFd, std::function<void()> beforeSleep);

    void wait(std::span<const Descriptor> descriptors, std::optional<core::Clock::Duration> timeout,
              std::vector<Descriptor>& ready) override;
    void wake() override { inner_->wake(); }

private:
    int displayFd_;
    std::function<void()> beforeSleep_;
    std::unique_ptr<core::RunLoopWaiter> inner_;
};

}  // namespace shell
