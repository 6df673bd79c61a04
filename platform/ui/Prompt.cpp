#include "platform/ui/Prompt.h"

#include <algorithm>
#include <deque>

#include "platform/ui/Label.h"
#include "platform/ui/MainThreadPrivate.h"

namespace ui {

namespace {

// Front: the prompt that is up. Main thread only.
std::deque<std::shared_ptr<Prompt>>& promptQueue() {
    static auto* queue = new std::deque<std::shared_ptr<Prompt>>;
    return *queue;
}

}  // namespace

Prompt::Prompt(std::string title, std::optional<std::string> destructive,
               std::vector<std::string> others, std::optional<std::string> cancel)
    : title_(std::move(title)) {
    if (destructive) {
        buttons_.push_back(std::move(*destructive));
    }
    if (!others.empty()) {
        firstOtherIndex_ = static_cast<int>(buttons_.size());
    }
    for (auto& other : others) {
        buttons_.push_back(std::move(other));
    }
    if (cancel) {
        cancelIndex_ = static_cast<int>(buttons_.size());
        buttons_.push_back(std::move(*cancel));
    }
}

Prompt::~Prompt() = default;

std::string Prompt::buttonTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) {
        return {};
    }
    return buttons_[static_cast<std::size_t>(index)];
}

std::optional<int> Prompt::indexOfButton(const std::string& title) const {
    auto found = std::find(buttons_.begin(), buttons_.end(), title);
    if (found == buttons_.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - buttons_.begin());
}

void Prompt::show() {
    assertMainThread();
    if (isQueued()) {
        return;
    }
    promptQueue().push_back(std::static_pointer_cast<Prompt>(shared_from_this()));
}

bool Prompt::isVisible() const {
    return !promptQueue().empty() && promptQueue().front().get() == this;
}

bool Prompt::isQueued() const {
    const auto& queue = promptQueue();
    return std::any_of(queue.begin(), queue.end(),
                       [this](const auto& prompt) { return prompt.get() == this; });
}

void Prompt::clickButtonAtIndex(int index) {
    if (index < 0 || index >= numberOfButtons()) {
        // A sheet without a cancel button dismissed by the user reports -1, as it has no
        // button for it.
        if (!(index == -1 && cancelIndex_ == -1)) {
            return;
        }
    }
    finish(index, true);
}

void Prompt::dismissWithClickedButtonIndex(int index, Animated) {
    finish(index, false);
}

void Prompt::finish(int index, bool clicked) {
    assertMainThread();
    if (!isQueued() || finishing_) {
        return;
    }
    finishing_ = true;
    auto protectedThis = std::static_pointer_cast<Prompt>(shared_from_this());
    if (clicked) {
        notifyClicked(index);
    }
    notifyWillDismiss(index);
    auto& queue = promptQueue();
    queue.erase(std::remove(queue.begin(), queue.end(), protectedThis), queue.end());
    finishing_ = false;
    notifyDidDismiss(index);
}

std::shared_ptr<Prompt> Prompt::visiblePrompt() {
    return promptQueue().empty() ? nullptr : promptQueue().front();
}

std::size_t Prompt::queuedCount() {
    return promptQueue().size();
}

void Prompt::removeAllForTesting() {
    promptQueue().clear();
}

std::string Prompt::buttonsDescription() const {
    std::string text;
    for (int i = 0; i < numberOfButtons(); ++i) {
        text += " [" + std::to_string(i) + ": " + buttonTitleAtIndex(i) + "]";
    }
    return text;
}

std::string Prompt::dumpLine() const {
    return kindName() + " " + quotedForDump(title_) + buttonsDescription();
}

}  // namespace ui
