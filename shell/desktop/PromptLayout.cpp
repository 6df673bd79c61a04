#include "shell/desktop/PromptLayout.h"

#include <algorithm>

#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "shell/desktop/Theme.h"
#include "shell/desktop/Typesetter.h"

namespace shell {

namespace {

constexpr double kPadding = 16;
constexpr double kSheetButtonHeight = 50;
constexpr double kGap = 8;

TextStyle titleStyle() {
    return {Theme::kTitle, FontWeight::Bold, Theme::ink(), ui::TextAlignment::Center, 0};
}

TextStyle messageStyle() {
    return {Theme::kBody - 1, FontWeight::Regular, Theme::ink(), ui::TextAlignment::Center, 0};
}

}  // namespace

PromptLayout::PromptLayout(const ui::Prompt& prompt, ui::Rect screen, double shown) {
    if (dynamic_cast<const ui::ActionSheet*>(&prompt)) {
        sheet_ = true;
        layoutSheet(prompt, screen, shown);
    } else {
        layoutAlert(prompt, screen);
    }
}

void PromptLayout::layoutAlert(const ui::Prompt& prompt, ui::Rect screen) {
    double width = std::min(Theme::kPromptWidth, screen.width() - 2 * kPadding);
    double textWidth = width - 2 * kPadding;
    std::string message;
    if (auto* alert = dynamic_cast<const ui::AlertView*>(&prompt)) {
        message = alert->message();
    }
    double titleHeight =
        prompt.title().empty() ? 0 : Typesetter::height(prompt.title(), titleStyle(), textWidth);
    double messageHeight =
        message.empty() ? 0 : Typesetter::height(message, messageStyle(), textWidth);
    int count = prompt.numberOfButtons();
    bool sideBySide = count == 2;
    int rows = sideBySide ? 1 : count;
    double textBlock =
        kPadding + titleHeight + (messageHeight > 0 ? 4 + messageHeight : 0) + kPadding;
    double height = textBlock + rows * Theme::kPromptButtonHeight;
    ui::Rect card(screen.midX() - width / 2, screen.midY() - height / 2, width, height);
    cards_.push_back(card);
    title_ = ui::Rect(card.minX() + kPadding, card.minY() + kPadding, textWidth, titleHeight);
    message_ = ui::Rect(card.minX() + kPadding, title_.maxY() + 4, textWidth, messageHeight);
    double top = card.minY() + textBlock;
    // Cancel sits on the left of a pair, as people expect from two-button alerts.
    for (int i = 0; i < count; ++i) {
        ui::Rect frame;
        if (sideBySide) {
            int column = i == prompt.cancelButtonIndex() ? 0 : 1;
            if (prompt.cancelButtonIndex() < 0) {
                column = i;
            }
            frame = ui::Rect(card.minX() + column * width / 2, top, width / 2,
                             Theme::kPromptButtonHeight);
        } else {
            frame = ui::Rect(card.minX(), top + i * Theme::kPromptButtonHeight, width,
                             Theme::kPromptButtonHeight);
        }
        buttons_.push_back({i, frame});
    }
}

void PromptLayout::layoutSheet(const ui::Prompt& prompt, ui::Rect screen, double shown) {
    double width = screen.width() - 2 * Theme::kSheetMargin;
    double x = screen.minX() + Theme::kSheetMargin;
    int cancel = prompt.cancelButtonIndex();
    int choices = prompt.numberOfButtons() - (cancel >= 0 ? 1 : 0);
    TextStyle caption{Theme::kCaption, FontWeight::Regular, Theme::mutedInk(),
                      ui::TextAlignment::Center, 0};
    double titleHeight =
        prompt.title().empty()
            ? 0
            : Typesetter::height(prompt.title(), caption, width - 2 * kPadding) + 2 * 12;
    double groupHeight = titleHeight + choices * kSheetButtonHeight;
    double cancelHeight = cancel >= 0 ? kSheetButtonHeight + kGap : 0;
    double total = groupHeight + cancelHeight + Theme::kSheetMargin;
    double slide = (1 - std::clamp(shown, 0.0, 1.0)) * total;
    double top = screen.maxY() - total + slide;
    ui::Rect group(x, top, width, groupHeight);
    if (choices > 0 || titleHeight > 0) {
        cards_.push_back(group);
    }
    title_ = ui::Rect(x + kPadding, top, width - 2 * kPadding, titleHeight);
    double y = top + titleHeight;
    for (int i = 0; i < prompt.numberOfButtons(); ++i) {
        if (i == cancel) {
            continue;
        }
        buttons_.push_back({i, ui::Rect(x, y, width, kSheetButtonHeight)});
        y += kSheetButtonHeight;
    }
    if (cancel >= 0) {
        ui::Rect card(x, group.maxY() + kGap, width, kSheetButtonHeight);
        cards_.push_back(card);
        buttons_.push_back({cancel, card});
    }
}

int PromptLayout::buttonAt(ui::Point point) const {
    for (const auto& slot : buttons_) {
        if (slot.frame.contains(point)) {
            return slot.index;
        }
    }
    return -1;
}

bool PromptLayout::isOnCard(ui::Point point) const {
    return std::any_of(cards_.begin(), cards_.end(),
                       [&](const ui::Rect& card) { return card.contains(point); });
}

}  // namespace shell
