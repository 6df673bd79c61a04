#pragma once

#include "platform/ui/View.h"

namespace ui {

// A bar filled from 0 to 1.
class ProgressView : public View {
public:
    static std::shared_ptr<ProgressView> create(Rect frame = {});

    double progress() const { return progress_; }
    // Values outside 0 to 1 are clamped; NaN counts as 0.
    void setProgress(double progress);

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit ProgressView(Rect frame) : View(frame) {}

private:
    double progress_ = 0;
};

}  // namespace ui
