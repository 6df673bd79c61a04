#pragma once

#include <memory>
#include <optional>

#include "platform/core/Clock.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/Window.h"

namespace shell {

// Keeps the time of the motions the view model does not time itself (a prompt coming in) and
// says when the next frame is due, all on the run loop's clock, so a virtual clock in a test
// and the window agree on every frame. Main thread.
class Animator {
public:
    // Notices a prompt that has just come up. Call before each frame.
    void update();
    // How far the prompt that is up has come in, from 0 to 1.
    double promptShown() const;
    // Whether `prompt` has been drawn and has come all the way in.
    bool hasFullyShown(const ui::Prompt& prompt) const;
    // Seconds until the picture changes by itself; nullopt when nothing moves, so an idle
    // window sleeps until an event comes.
    std::optional<double> nextFrameDelay(const ui::Window& window) const;

    // What the window shows, reduced to a number that changes when anything drawn changes;
    // cheap enough to look at whenever the loop is about to sleep.
    static std::size_t pictureOf(const ui::Window& window);

    // Slow in, slow out.
    static double ease(double t);

    static constexpr double kFrameInterval = 1.0 / 60;

private:
    std::weak_ptr<ui::Prompt> prompt_;
    core::Clock::TimePoint promptSince_{};
    bool firstFrame_ = true;
};

}  // namespace shell
