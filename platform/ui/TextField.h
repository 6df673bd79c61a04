#pragma once

#include <memory>
#include <string>

#include "platform/ui/Control.h"

namespace ui {

class TextField;

// Asked by a text field when the user presses the return key.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    // Whether the field does its default (ends editing, dismissing the keyboard).
    virtual bool textFieldShouldReturn(TextField&) { return true; }
    virtual void textFieldDidEndEditing(TextField&) {}
};

enum class KeyboardType { Default = 0, NumberPad = 4, EmailAddress = 7 };

// One line of editable text. While it is the window's first responder the keyboard is up.
class TextField : public Control {
public:
    static std::shared_ptr<TextField> create(Rect frame = {});

    const std::string& text() const { return text_; }
    // Sets the text without sending editing events.
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
    bool isSecureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool secure) { secure_ = secure; }
    KeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(KeyboardType type) { keyboardType_ = type; }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { delegate_ = std::move(delegate); }

    // Takes the keyboard; only a field in a window can. Returns whether it has it.
    bool becomeFirstResponder();
    // Gives the keyboard up; returns true when the field no longer has it.
    bool resignFirstResponder();
    bool isFirstResponder() const;

    // What the keyboard does: types text at the end (EditingChanged) and presses return.
    void insertText(const std::string& text);
    void deleteBackward();
    void pressReturn();

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit TextField(Rect frame) : Control(frame) {}

private:
    std::string text_;
    std::string placeholder_;
    bool secure_ = false;
    KeyboardType keyboardType_ = KeyboardType::Default;
    std::weak_ptr<TextFieldDelegate> delegate_;
};

}  // namespace ui
