#include "platform/ui/AlertView.h"

#include "platform/ui/Label.h"

namespace ui {

AlertView::AlertView(std::string title, std::string message,
                     std::weak_ptr<AlertViewDelegate> delegate, std::optional<std::string> cancel,
                     std::vector<std::string> others)
    : Prompt(std::move(title), std::nullopt, std::move(others), std::move(cancel)),
      message_(std::move(message)),
      delegate_(std::move(delegate)) {}

std::shared_ptr<AlertView> AlertView::create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             std::optional<std::string> cancelButtonTitle,
                                             std::vector<std::string> otherButtonTitles) {
    return std::shared_ptr<AlertView>(
        new AlertView(std::move(title), std::move(message), std::move(delegate),
                      std::move(cancelButtonTitle), std::move(otherButtonTitles)));
}

void AlertView::notifyClicked(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->clickedButtonAtIndex(*this, index);
    }
}

void AlertView::notifyWillDismiss(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->willDismissWithButtonIndex(*this, index);
    }
}

void AlertView::notifyDidDismiss(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->didDismissWithButtonIndex(*this, index);
    }
}

std::string AlertView::dumpLine() const {
    return kindName() + " " + quotedForDump(title()) + ": " + quotedForDump(message_) +
           buttonsDescription();
}

}  // namespace ui
