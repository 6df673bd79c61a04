#include "platform/ui/ViewTransition.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/Timer.h"
#include "platform/ui/MainThreadPrivate.h"

namespace ui {

namespace {

// Main thread only.
std::vector<std::shared_ptr<ViewTransition>>& runningList() {
    static auto* list = new std::vector<std::shared_ptr<ViewTransition>>;
    return *list;
}

}  // namespace

const char* transitionKindName(TransitionKind kind) {
    static const char* const names[] = {"none",        "flipFromLeft",   "flipFromRight",
                                        "curlUp",      "curlDown",       "crossDissolve",
                                        "flipFromTop", "flipFromBottom", "push",
                                        "pop",         "coverVertical",  "uncover"};
    return names[static_cast<int>(kind)];
}

ViewTransition::ViewTransition(TransitionKind kind, ViewPtr from, ViewPtr to, double duration,
                               std::function<void()> completion)
    : kind_(kind),
      from_(from),
      to_(to),
      duration_(std::max(0.0, duration)),
      start_(core::Clock::now()),
      completion_(std::move(completion)) {}

std::shared_ptr<ViewTransition> ViewTransition::start(TransitionKind kind, ViewPtr from, ViewPtr to,
                                                      double duration,
                                                      std::function<void()> completion) {
    assertMainThread();
    auto transition = std::shared_ptr<ViewTransition>(
        new ViewTransition(kind, std::move(from), std::move(to), duration, std::move(completion)));
    runningList().push_back(transition);
    // The timer's action keeps the transition alive until it fires; a one-shot timer lets go
    // of its action once it has run.
    transition->timer_ =
        core::Timer::scheduled(transition->duration_, core::Timer::Repeats::No,
                               [transition](core::Timer&) { transition->finish(); });
    return transition;
}

std::shared_ptr<ViewTransition> ViewTransition::transitionFromView(const ViewPtr& from,
                                                                   const ViewPtr& to,
                                                                   double duration,
                                                                   AnimationOptions options,
                                                                   Completion completion) {
    assertMainThread();
    if (from && to && from != to) {
        if (auto parent = from->superview()) {
            const auto& siblings = parent->subviews();
            auto index = static_cast<std::size_t>(
                std::find(siblings.begin(), siblings.end(), from) - siblings.begin());
            parent->insertSubview(to, index);
            from->removeFromSuperview();
        }
    }
    auto kind = static_cast<TransitionKind>((options >> 20) & 0x7u);
    std::function<void()> done;
    if (completion) {
        done = [completion = std::move(completion)] { completion(true); };
    }
    return start(kind, from, to, duration, std::move(done));
}

std::vector<std::shared_ptr<ViewTransition>> ViewTransition::running() {
    return runningList();
}

double ViewTransition::progress() const {
    if (finished_ || duration_ <= 0) {
        return 1.0;
    }
    double elapsed = (core::Clock::now() - start_).count();
    return std::clamp(elapsed / duration_, 0.0, 1.0);
}

void ViewTransition::finish() {
    assertMainThread();
    if (finished_) {
        return;
    }
    finished_ = true;
    auto protectedThis = std::static_pointer_cast<ViewTransition>(shared_from_this());
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    auto& list = runningList();
    list.erase(std::remove(list.begin(), list.end(), protectedThis), list.end());
    if (auto completion = std::move(completion_)) {
        completion();
    }
}

std::string ViewTransition::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "transition %s %.2f/%.2f s", transitionKindName(kind_),
                  progress() * duration_, duration_);
    return text;
}

}  // namespace ui
