#pragma once

#include "platform/ui/View.h"

namespace ui {

enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2 };

// A spinner. With hidesWhenStopped (the default) it is hidden while stopped.
class ActivityIndicatorView : public View {
public:
    static std::shared_ptr<ActivityIndicatorView> create(Rect frame = {});

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }
    bool hidesWhenStopped() const { return hidesWhenStopped_; }
    void setHidesWhenStopped(bool hides);
    ActivityIndicatorStyle style() const { return style_; }
    void setStyle(ActivityIndicatorStyle style) { style_ = style; }

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit ActivityIndicatorView(Rect frame);

private:
    bool animating_ = false;
    bool hidesWhenStopped_ = true;
    ActivityIndicatorStyle style_ = ActivityIndicatorStyle::White;
};

}  // namespace ui
