#pragma once

#include <string>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/Prompt.h"

namespace shell {

// Where the parts of the prompt that is up are drawn, in window points: an alert's card in the
// middle, or an action sheet's group of choices and its separate cancel card at the bottom.
// `shown` (0 to 1) is how far it has come in: a sheet slides up by it. Drawing and tapping
// both use this.
class PromptLayout {
public:
    struct ButtonSlot {
        int index = -1;
        ui::Rect frame;
    };

    PromptLayout(const ui::Prompt& prompt, ui::Rect screen, double shown);

    bool isSheet() const { return sheet_; }
    // The cards (one for an alert; one or two for a sheet).
    const std::vector<ui::Rect>& cards() const { return cards_; }
    ui::Rect titleFrame() const { return title_; }
    ui::Rect messageFrame() const { return message_; }
    const std::vector<ButtonSlot>& buttons() const { return buttons_; }
    // The button under `point`, -1 when none.
    int buttonAt(ui::Point point) const;
    // Whether `point` is on one of the cards.
    bool isOnCard(ui::Point point) const;

private:
    void layoutAlert(const ui::Prompt& prompt, ui::Rect screen);
    void layoutSheet(const ui::Prompt& prompt, ui::Rect screen, double shown);

    bool sheet_ = false;
    std::vector<ui::Rect> cards_;
    ui::Rect title_;
    ui::Rect message_;
    std::vector<ButtonSlot> buttons_;
};

}  // namespace shell
