#include "platform/ui/ProgressView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ui {

std::shared_ptr<ProgressView> ProgressView::create(Rect frame) {
    return std::shared_ptr<ProgressView>(new ProgressView(frame));
}

void ProgressView::setProgress(double progress) {
    progress_ = std::isnan(progress) ? 0.0 : std::clamp(progress, 0.0, 1.0);
}

core::Expected<void> ProgressView::setAttribute(const InterfaceValue& value) {
    if (value.key() == "progress") {
        return applyValue(value.asNumber(), [this](double progress) { setProgress(progress); });
    }
    return View::setAttribute(value);
}

std::string ProgressView::stateDescription() const {
    char text[32];
    std::snprintf(text, sizeof text, "progress=%.2f", progress_);
    return text;
}

}  // namespace ui
