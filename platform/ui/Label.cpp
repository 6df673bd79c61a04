#include "platform/ui/Label.h"

namespace ui {

std::string quotedForDump(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

std::shared_ptr<Label> Label::create(Rect frame) {
    return std::shared_ptr<Label>(new Label(frame));
}

core::Expected<void> Label::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "text") {
        setText(value.text());
        return {};
    }
    if (key == "alignment") {
        return applyValue(value.asChoice({"left", "center", "right"}), [this](int choice) {
            setTextAlignment(static_cast<TextAlignment>(choice));
        });
    }
    if (key == "lines") {
        return applyValue(value.asInteger(), [this](int lines) { setNumberOfLines(lines); });
    }
    if (key == "textColor") {
        return applyValue(parseColor(value), [this](Color color) { setTextColor(color); });
    }
    if (key == "fontSize") {
        return applyValue(value.asNumber(), [this](double size) { setFontSize(size); });
    }
    return View::setAttribute(value);
}

std::string Label::stateDescription() const {
    return "text=" + quotedForDump(text_);
}

}  // namespace ui
