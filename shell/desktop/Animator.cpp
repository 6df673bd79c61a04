#include "shell/desktop/Animator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Control.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/Theme.h"

namespace shell {

namespace {

// Slide shows change picture a few times a second at most; looking ten times a second
// catches each change without drawing sixty frames of the same picture.
constexpr double kSlideShowCheck = 0.1;

enum class Motion { None, SlideShow, Continuous };

Motion motionIn(const ui::View& view) {
    if (view.isHidden() || view.alpha() <= 0.01) {
        return Motion::None;
    }
    Motion found = Motion::None;
    if (auto* spinner = dynamic_cast<const ui::ActivityIndicatorView*>(&view);
        spinner && spinner->isAnimating()) {
        return Motion::Continuous;
    }
    if (auto* image = dynamic_cast<const ui::ImageView*>(&view);
        image && image->isAnimating() && image->animationImages().size() > 1) {
        found = Motion::SlideShow;
    }
    for (const auto& child : view.subviews()) {
        found = std::max(found, motionIn(*child));
        if (found == Motion::Continuous) {
            break;
        }
    }
    return found;
}

// What the window shows, reduced to a number: it changes when anything drawn changes.
void describe(const ui::View& view, std::string& out) {
    if (view.isHidden() || view.alpha() <= 0.01) {
        return;
    }
    ui::Rect f = view.frame();
    out += view.className() + std::to_string(f.minX()) + "," + std::to_string(f.minY()) + "," +
           std::to_string(f.width()) + "," + std::to_string(f.height()) + "," +
           std::to_string(view.alpha()) + view.stateDescription();
    if (auto* control = dynamic_cast<const ui::Control*>(&view)) {
        out += control->isHighlighted() ? "h" : "";
    }
    if (auto* image = dynamic_cast<const ui::ImageView*>(&view)) {
        out += std::to_string(reinterpret_cast<std::uintptr_t>(image->displayedImage().get()));
    }
    out += "{";
    for (const auto& child : view.subviews()) {
        describe(*child, out);
    }
    out += "}";
}

}  // namespace

std::size_t Animator::pictureOf(const ui::Window& window) {
    std::string text;
    describe(window, text);
    if (auto responder = window.firstResponder()) {
        text += "first:" + std::to_string(reinterpret_cast<std::uintptr_t>(responder.get()));
    }
    if (auto prompt = ui::Prompt::visiblePrompt()) {
        text += prompt->dumpLine();
    }
    return std::hash<std::string>{}(text);
}

void Animator::update() {
    auto prompt = ui::Prompt::visiblePrompt();
    if (prompt != prompt_.lock()) {
        prompt_ = prompt;
        // A prompt that was up before the first frame is drawn as settled: a still picture
        // of a screen shows it, not the first frame of its entrance.
        promptSince_ = firstFrame_ ? core::Clock::TimePoint{} : core::Clock::now();
    }
    firstFrame_ = false;
}

double Animator::promptShown() const {
    double duration = Theme::kSheetSlide;
    double elapsed = std::chrono::duration<double>(core::Clock::now() - promptSince_).count();
    return std::clamp(elapsed / duration, 0.0, 1.0);
}

bool Animator::hasFullyShown(const ui::Prompt& prompt) const {
    return prompt_.lock().get() == &prompt && promptShown() >= 1.0;
}

std::optional<double> Animator::nextFrameDelay(const ui::Window& window) const {
    if (ui::ViewTransition::isAnyRunning() || (prompt_.lock() && promptShown() < 1.0)) {
        return kFrameInterval;
    }
    switch (motionIn(window)) {
        case Motion::Continuous:
            return kFrameInterval;
        case Motion::SlideShow:
            return kSlideShowCheck;
        case Motion::None:
            break;
    }
    return std::nullopt;
}

double Animator::ease(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

}  // namespace shell
