#include "platform/ui/BarButtonItem.h"

#include "platform/ui/InterfaceError.h"
#include "platform/ui/Label.h"
#include "platform/ui/MainThreadPrivate.h"

namespace ui {

BarButtonItem::BarButtonItem(std::string title, BarButtonItemStyle style, ActionHandler action,
                             BarButtonSystemItem systemItem)
    : title_(std::move(title)),
      style_(style),
      action_(std::move(action)),
      systemItem_(systemItem) {}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::string title, BarButtonItemStyle style,
                                                     ActionHandler action) {
    return std::shared_ptr<BarButtonItem>(
        new BarButtonItem(std::move(title), style, std::move(action), BarButtonSystemItem::None));
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(BarButtonSystemItem systemItem) {
    return std::shared_ptr<BarButtonItem>(
        new BarButtonItem({}, BarButtonItemStyle::Plain, nullptr, systemItem));
}

void BarButtonItem::sendAction() {
    assertMainThread();
    auto protectedThis = shared_from_this();
    if (auto action = action_) {
        action(protectedThis);
    }
}

core::Expected<void> BarButtonItem::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "title") {
        setTitle(value.text());
        return {};
    }
    if (key == "style") {
        return applyValue(value.asChoice({"plain", "bordered", "done"}), [this](int choice) {
            setStyle(static_cast<BarButtonItemStyle>(choice));
        });
    }
    if (key == "system") {
        return applyValue(
            value.asChoice({"none", "flexibleSpace", "fixedSpace"}),
            [this](int choice) { systemItem_ = static_cast<BarButtonSystemItem>(choice); });
    }
    if (key == "enabled") {
        return applyValue(value.asBool(), [this](bool enabled) { setEnabled(enabled); });
    }
    if (key == "width") {
        return applyValue(value.asNumber(), [this](double width) { setWidth(width); });
    }
    if (key == "tag") {
        return applyValue(value.asInteger(), [this](int tag) { setTag(tag); });
    }
    if (key == "id") {
        setIdentifier(value.text());
        return {};
    }
    return makeInterfaceError(InterfaceError::UnknownProperty,
                              "BarButtonItem has no property \"" + key + "\"");
}

std::string BarButtonItem::stateDescription() const {
    switch (systemItem_) {
        case BarButtonSystemItem::FlexibleSpace:
            return "flexible space";
        case BarButtonSystemItem::FixedSpace:
            return "fixed space";
        case BarButtonSystemItem::None:
            break;
    }
    return "title=" + quotedForDump(title_) + (enabled_ ? "" : " disabled");
}

}  // namespace ui
