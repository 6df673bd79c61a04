#include "platform/ui/TextField.h"

#include "platform/ui/Label.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Window.h"

namespace ui {

std::shared_ptr<TextField> TextField::create(Rect frame) {
    return std::shared_ptr<TextField>(new TextField(frame));
}

bool TextField::becomeFirstResponder() {
    assertMainThread();
    auto host = window();
    if (!host || !isEnabled()) {
        return false;
    }
    if (isFirstResponder()) {
        return true;
    }
    if (auto current = std::dynamic_pointer_cast<TextField>(host->firstResponder())) {
        if (!current->resignFirstResponder()) {
            return false;
        }
    }
    host->setFirstResponder(std::static_pointer_cast<View>(shared_from_this()));
    sendActions(ControlEvent::EditingDidBegin);
    return true;
}

bool TextField::resignFirstResponder() {
    assertMainThread();
    auto host = window();
    if (!host || host->firstResponder().get() != this) {
        return true;
    }
    host->setFirstResponder(nullptr);
    sendActions(ControlEvent::EditingDidEnd);
    if (auto delegate = delegate_.lock()) {
        delegate->textFieldDidEndEditing(*this);
    }
    return true;
}

bool TextField::isFirstResponder() const {
    auto host = window();
    return host && host->firstResponder().get() == this;
}

void TextField::insertText(const std::string& text) {
    text_ += text;
    sendActions(ControlEvent::EditingChanged);
}

void TextField::deleteBackward() {
    if (text_.empty()) {
        return;
    }
    // Remove one whole UTF-8 character, not one byte of it.
    std::size_t end = text_.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) {
        --end;
    }
    text_.erase(end);
    sendActions(ControlEvent::EditingChanged);
}

void TextField::pressReturn() {
    auto protectedThis = shared_from_this();
    auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldReturn(*this)) {
        return;
    }
    sendActions(ControlEvent::EditingDidEndOnExit);
    resignFirstResponder();
}

core::Expected<void> TextField::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "text") {
        setText(value.text());
        return {};
    }
    if (key == "placeholder") {
        setPlaceholder(value.text());
        return {};
    }
    if (key == "secure") {
        return applyValue(value.asBool(), [this](bool secure) { setSecureTextEntry(secure); });
    }
    if (key == "keyboard") {
        return applyValue(value.asChoice({"default", "number", "email"}), [this](int choice) {
            const KeyboardType types[] = {KeyboardType::Default, KeyboardType::NumberPad,
                                          KeyboardType::EmailAddress};
            setKeyboardType(types[choice]);
        });
    }
    return Control::setAttribute(value);
}

std::string TextField::stateDescription() const {
    std::string shown = secure_ ? std::string(text_.size(), '*') : text_;
    std::string result = "text=" + quotedForDump(shown);
    if (text_.empty() && !placeholder_.empty()) {
        result += " placeholder=" + quotedForDump(placeholder_);
    }
    if (isFirstResponder()) {
        result += " editing";
    }
    return result + enabledDescription();
}

}  // namespace ui
