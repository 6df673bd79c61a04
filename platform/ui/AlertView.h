#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Prompt.h"

namespace ui {

class AlertView;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void clickedButtonAtIndex(AlertView&, int) {}
    virtual void willDismissWithButtonIndex(AlertView&, int) {}
    virtual void didDismissWithButtonIndex(AlertView&, int) {}
};

// A message with buttons in the middle of the screen (see Prompt for numbering and queueing).
class AlertView : public Prompt {
public:
    // initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles:
    static std::shared_ptr<AlertView> create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             std::optional<std::string> cancelButtonTitle,
                                             std::vector<std::string> otherButtonTitles = {});

    const std::string& message() const { return message_; }
    void setDelegate(std::weak_ptr<AlertViewDelegate> delegate) { delegate_ = std::move(delegate); }

    std::string kindName() const override { return "Alert"; }
    std::string dumpLine() const override;

protected:
    void notifyClicked(int index) override;
    void notifyWillDismiss(int index) override;
    void notifyDidDismiss(int index) override;

private:
    AlertView(std::string title, std::string message, std::weak_ptr<AlertViewDelegate> delegate,
              std::optional<std::string> cancel, std::vector<std::string> others);

    std::string message_;
    std::weak_ptr<AlertViewDelegate> delegate_;
};

using AlertViewPtr = std::shared_ptr<AlertView>;

}  // namespace ui
