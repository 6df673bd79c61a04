#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Object.h"
#include "platform/ui/View.h"

namespace core {
class Timer;
}

namespace ui {

// Animation options as the platform numbers them; the transition sits in bits 20 to 22.
using AnimationOptions = std::uint32_t;
inline constexpr AnimationOptions AnimationOptionTransitionNone = 0u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionFlipFromLeft = 1u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionFlipFromRight = 2u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionCurlUp = 3u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionCurlDown = 4u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionCrossDissolve = 5u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionFlipFromTop = 6u << 20;
inline constexpr AnimationOptions AnimationOptionTransitionFlipFromBottom = 7u << 20;

// How a running transition looks; a renderer interpolates it from progress().
enum class TransitionKind {
    None,
    FlipFromLeft,
    FlipFromRight,
    CurlUp,
    CurlDown,
    CrossDissolve,
    FlipFromTop,
    FlipFromBottom,
    Push,           // a navigation push: the new view slides in from the right
    Pop,            // a navigation pop
    CoverVertical,  // a modal presentation slides up
    Uncover,        // a modal dismissal slides down
};

// A change of the view tree that takes time: the tree is already in its final state, and
// the transition only tells a renderer how to show the way there. It completes on the run
// loop's clock (virtual in tests), on the main thread; while any runs, touches wait.
class ViewTransition : public core::Object {
public:
    using Completion = std::function<void(bool finished)>;

    static constexpr double kNavigationDuration = 0.35;
    static constexpr double kModalDuration = 0.3;

    static std::shared_ptr<ViewTransition> start(TransitionKind kind, ViewPtr from, ViewPtr to,
                                                 double duration, std::function<void()> completion);

    // transitionFromView:toView:duration:options:completion: — `to` takes `from`'s place
    // in its parent at once; the completion runs when the duration has passed.
    static std::shared_ptr<ViewTransition> transitionFromView(const ViewPtr& from,
                                                              const ViewPtr& to, double duration,
                                                              AnimationOptions options,
                                                              Completion completion = nullptr);

    // Transitions that have started and not completed, oldest first.
    static std::vector<std::shared_ptr<ViewTransition>> running();
    static bool isAnyRunning() { return !running().empty(); }

    TransitionKind kind() const { return kind_; }
    ViewPtr fromView() const { return from_.lock(); }
    ViewPtr toView() const { return to_.lock(); }
    double duration() const { return duration_; }
    // 0 at the start, 1 once the duration has passed.
    double progress() const;
    bool isFinished() const { return finished_; }
    // Completes now: for a transition that must give way to the next change.
    void finish();

    std::string description() const override;

private:
    ViewTransition(TransitionKind kind, ViewPtr from, ViewPtr to, double duration,
                   std::function<void()> completion);

    TransitionKind kind_;
    std::weak_ptr<View> from_;
    std::weak_ptr<View> to_;
    double duration_;
    core::Clock::TimePoint start_;
    std::function<void()> completion_;
    std::shared_ptr<core::Timer> timer_;
    bool finished_ = false;
};

using ViewTransitionPtr = std::shared_ptr<ViewTransition>;

const char* transitionKindName(TransitionKind kind);

}  // namespace ui
