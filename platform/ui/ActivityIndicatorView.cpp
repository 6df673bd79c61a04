#include "platform/ui/ActivityIndicatorView.h"

namespace ui {

ActivityIndicatorView::ActivityIndicatorView(Rect frame) : View(frame) {
    setHidden(true);
}

std::shared_ptr<ActivityIndicatorView> ActivityIndicatorView::create(Rect frame) {
    return std::shared_ptr<ActivityIndicatorView>(new ActivityIndicatorView(frame));
}

void ActivityIndicatorView::startAnimating() {
    animating_ = true;
    if (hidesWhenStopped_) {
        setHidden(false);
    }
}

void ActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped_) {
        setHidden(true);
    }
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
    hidesWhenStopped_ = hides;
    if (hides && !animating_) {
        setHidden(true);
    }
}

core::Expected<void> ActivityIndicatorView::setAttribute(const InterfaceValue& value) {
    if (value.key() == "hidesWhenStopped") {
        return applyValue(value.asBool(), [this](bool hides) { setHidesWhenStopped(hides); });
    }
    if (value.key() == "style") {
        return applyValue(value.asChoice({"whiteLarge", "white", "gray"}), [this](int choice) {
            setStyle(static_cast<ActivityIndicatorStyle>(choice));
        });
    }
    return View::setAttribute(value);
}

std::string ActivityIndicatorView::stateDescription() const {
    return animating_ ? "spinning" : "stopped";
}

}  // namespace ui
