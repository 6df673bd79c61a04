#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Prompt.h"

namespace ui {

class ActionSheet;

class ActionSheetDelegate {
public:
    virtual ~ActionSheetDelegate() = default;
    virtual void clickedButtonAtIndex(ActionSheet&, int) {}
    virtual void willDismissWithButtonIndex(ActionSheet&, int) {}
    virtual void didDismissWithButtonIndex(ActionSheet&, int) {}
};

// The platform's numbering of sheet styles.
enum class ActionSheetStyle { Automatic = -1, Default = 0, BlackOpaque = 1, BlackTranslucent = 2 };

// A set of choices that rises from the bottom of a view (see Prompt for numbering and
// queueing: the destructive button first, the others in order, the cancel button last).
class ActionSheet : public Prompt {
public:
    // initWithTitle:delegate:cancelButtonTitle:destructiveButtonTitle:otherButtonTitles:
    static std::shared_ptr<ActionSheet> create(std::string title,
                                               std::weak_ptr<ActionSheetDelegate> delegate,
                                               std::optional<std::string> cancelButtonTitle,
                                               std::optional<std::string> destructiveButtonTitle,
                                               std::vector<std::string> otherButtonTitles);

    ActionSheetStyle actionSheetStyle() const { return style_; }
    void setActionSheetStyle(ActionSheetStyle style) { style_ = style; }
    // -1 when there is none.
    int destructiveButtonIndex() const { return destructiveIndex_; }
    void setDelegate(std::weak_ptr<ActionSheetDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Shows the sheet over `view` (queued like any prompt).
    void showInView(const std::shared_ptr<View>& view);
    std::shared_ptr<View> hostView() const { return host_.lock(); }

    std::string kindName() const override { return "Sheet"; }

protected:
    void notifyClicked(int index) override;
    void notifyWillDismiss(int index) override;
    void notifyDidDismiss(int index) override;

private:
    ActionSheet(std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
                std::optional<std::string> cancel, std::optional<std::string> destructive,
                std::vector<std::string> others);

    std::weak_ptr<ActionSheetDelegate> delegate_;
    ActionSheetStyle style_ = ActionSheetStyle::Automatic;
    int destructiveIndex_ = -1;
    std::weak_ptr<View> host_;
};

using ActionSheetPtr = std::shared_ptr<ActionSheet>;

}  // namespace ui
