#include "shell/desktop/SdlWaiter.h"

#include <SDL.h>

namespace shell {

SdlWaiter::SdlWaiter(int displayFd, std::function<void()> beforeSleep)
    : displayFd_(displayFd),
      beforeSleep_(std::move(beforeSleep)),
      inner_(core::RunLoopWaiter::createDefault()) {}

void SdlWaiter::wait(std::span<const Descriptor> descriptors,
                     std::optional<core::Clock::Duration> timeout, std::vector<Descriptor>& ready) {
    if (beforeSleep_) {
        beforeSleep_();
    }
    SDL_PumpEvents();
    if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
        inner_->wait(descriptors, core::Clock::Duration::zero(), ready);
        ready.push_back({displayFd_, core::FdEvents::Readable});
        return;
    }
    inner_->wait(descriptors, timeout, ready);
}

}  // namespace shell
