#include "platform/ui/Toolbar.h"

namespace ui {

std::string describeItems(const std::vector<BarButtonItemPtr>& items) {
    std::string text;
    for (const auto& item : items) {
        if (item && item->systemItem() == BarButtonSystemItem::None) {
            text += (text.empty() ? "[" : " [") + item->stateDescription() + "]";
        }
    }
    return text;
}

std::shared_ptr<Toolbar> Toolbar::create(Rect frame) {
    return std::shared_ptr<Toolbar>(new Toolbar(frame));
}

void Toolbar::setItems(std::vector<BarButtonItemPtr> items, Animated) {
    // The look of the change is the renderer's business; the items are final at once.
    items_ = std::move(items);
}

core::Expected<void> Toolbar::setAttribute(const InterfaceValue& value) {
    if (value.key() == "barStyle") {
        return applyValue(value.asChoice({"default", "black"}),
                          [this](int choice) { setBarStyle(static_cast<BarStyle>(choice)); });
    }
    return View::setAttribute(value);
}

std::string Toolbar::stateDescription() const {
    return "items: " + describeItems(items_);
}

}  // namespace ui
