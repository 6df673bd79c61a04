#pragma once

#include <string>

#include "platform/ui/View.h"

namespace ui {

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

// A line or block of text that the user reads.
class Label : public View {
public:
    static std::shared_ptr<Label> create(Rect frame = {});

    const std::string& text() const { return text_; }
    void setText(std::string text) { text_ = std::move(text); }
    TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(TextAlignment alignment) { alignment_ = alignment; }
    // 0 means as many lines as the text needs.
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int lines) { numberOfLines_ = lines; }
    double fontSize() const { return fontSize_; }
    void setFontSize(double size) { fontSize_ = size; }
    Color textColor() const { return textColor_; }
    void setTextColor(Color color) { textColor_ = color; }

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit Label(Rect frame) : View(frame) {}

private:
    std::string text_;
    TextAlignment alignment_ = TextAlignment::Left;
    int numberOfLines_ = 1;
    double fontSize_ = 17;
    Color textColor_ = Color::black();
};

// Quotes a text for dumps: "a \"b\"".
std::string quotedForDump(const std::string& text);

}  // namespace ui
