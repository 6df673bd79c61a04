#include "platform/ui/Control.h"

#include "platform/ui/MainThreadPrivate.h"

namespace ui {

std::shared_ptr<Control> Control::create(Rect frame) {
    return std::shared_ptr<Control>(new Control(frame));
}

ControlState Control::state() const {
    if (!enabled_) {
        return ControlState::Disabled;
    }
    if (selected_) {
        return ControlState::Selected;
    }
    return highlighted_ ? ControlState::Highlighted : ControlState::Normal;
}

void Control::addAction(ActionHandler handler, ControlEvent event) {
    if (handler) {
        actions_.emplace_back(event, std::move(handler));
    }
}

std::size_t Control::actionCount(ControlEvent event) const {
    std::size_t count = 0;
    for (const auto& [registered, handler] : actions_) {
        count += registered == event ? 1 : 0;
    }
    return count;
}

void Control::sendActions(ControlEvent event) {
    assertMainThread();
    auto protectedThis = shared_from_this();
    // A handler may add or remove actions; run the ones registered when the event came.
    auto actions = actions_;
    for (const auto& [registered, handler] : actions) {
        if (registered == event) {
            handler(protectedThis);
        }
    }
}

core::Expected<void> Control::setAttribute(const InterfaceValue& value) {
    if (value.key() == "enabled") {
        return applyValue(value.asBool(), [this](bool enabled) { setEnabled(enabled); });
    }
    if (value.key() == "selected") {
        return applyValue(value.asBool(), [this](bool selected) { setSelected(selected); });
    }
    return View::setAttribute(value);
}

}  // namespace ui
