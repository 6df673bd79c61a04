#include "platform/ui/ActionSheet.h"

namespace ui {

ActionSheet::ActionSheet(std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
                         std::optional<std::string> cancel, std::optional<std::string> destructive,
                         std::vector<std::string> others)
    : Prompt(std::move(title), destructive, std::move(others), std::move(cancel)),
      delegate_(std::move(delegate)),
      destructiveIndex_(destructive ? 0 : -1) {}

std::shared_ptr<ActionSheet> ActionSheet::create(std::string title,
                                                 std::weak_ptr<ActionSheetDelegate> delegate,
                                                 std::optional<std::string> cancelButtonTitle,
                                                 std::optional<std::string> destructiveButtonTitle,
                                                 std::vector<std::string> otherButtonTitles) {
    return std::shared_ptr<ActionSheet>(
        new ActionSheet(std::move(title), std::move(delegate), std::move(cancelButtonTitle),
                        std::move(destructiveButtonTitle), std::move(otherButtonTitles)));
}

void ActionSheet::showInView(const std::shared_ptr<View>& view) {
    host_ = view;
    show();
}

void ActionSheet::notifyClicked(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->clickedButtonAtIndex(*this, index);
    }
}

void ActionSheet::notifyWillDismiss(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->willDismissWithButtonIndex(*this, index);
    }
}

void ActionSheet::notifyDidDismiss(int index) {
    if (auto delegate = delegate_.lock()) {
        delegate->didDismissWithButtonIndex(*this, index);
    }
}

}  // namespace ui
