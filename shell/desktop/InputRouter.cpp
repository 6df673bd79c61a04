#include "shell/desktop/InputRouter.h"

#include <algorithm>
#include <vector>

#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewTransition.h"
#include "shell/desktop/BarLayout.h"
#include "shell/desktop/PromptLayout.h"

namespace shell {

namespace {

bool isBar(const ui::View& view) {
    return dynamic_cast<const ui::Toolbar*>(&view) || dynamic_cast<const ui::NavigationBar*>(&view);
}

ui::Point inView(const ui::View& view, ui::Point windowPoint) {
    ui::Rect frame = view.frameInWindow();
    return {windowPoint.x - frame.minX(), windowPoint.y - frame.minY()};
}

ui::BarButtonItemPtr barItemAt(const ui::View& bar, ui::Point windowPoint) {
    return BarLayout::itemAt(BarLayout::itemsOf(bar), bar.bounds(), inView(bar, windowPoint));
}

// The view a press on `hit` works: the nearest bar, grid cell or control above it.
ui::ViewPtr actionableAncestor(ui::ViewPtr view) {
    for (; view; view = view->superview()) {
        if (isBar(*view) || std::dynamic_pointer_cast<ui::Control>(view)) {
            return view;
        }
        if (std::dynamic_pointer_cast<ui::CollectionViewCell>(view) &&
            std::dynamic_pointer_cast<ui::CollectionView>(view->superview())) {
            return view;
        }
    }
    return nullptr;
}

bool isWithin(const ui::ViewPtr& hit, const ui::View& view) {
    return hit && (hit.get() == &view || hit->isDescendantOf(view));
}

void collectFields(const ui::ViewPtr& view, std::vector<std::shared_ptr<ui::TextField>>& out) {
    if (!view || view->isHidden() || view->alpha() <= 0.01) {
        return;
    }
    if (auto field = std::dynamic_pointer_cast<ui::TextField>(view); field && field->isEnabled()) {
        out.push_back(field);
    }
    for (const auto& child : view->subviews()) {
        collectFields(child, out);
    }
}

std::string acceptedText(const ui::TextField& field, const std::string& utf8) {
    std::string accepted;
    for (unsigned char c : utf8) {
        if (c < 0x20 || c == 0x7f) {
            continue;  // control characters arrive as keys, not text
        }
        if (field.keyboardType() == ui::KeyboardType::NumberPad && (c < '0' || c > '9')) {
            continue;  // the number pad has digits only
        }
        accepted += static_cast<char>(c);
    }
    return accepted;
}

}  // namespace

bool InputRouter::isBlocked() const {
    return ui::ViewTransition::isAnyRunning();
}

void InputRouter::press(ui::Point pixel) {
    pressed_ = Target::None;
    pressedView_.reset();
    if (isBlocked()) {
        return;
    }
    ui::Point point = viewport_.toPoints(pixel);
    if (ui::Prompt::visiblePrompt()) {
        pressPrompt(point);
        return;
    }
    auto view = actionableAncestor(window_->hitTest(point));
    if (!view) {
        return;
    }
    pressedView_ = view;
    if (isBar(*view)) {
        pressed_ = barItemAt(*view, point) ? Target::BarItem : Target::None;
    } else if (auto control = std::dynamic_pointer_cast<ui::Control>(view)) {
        if (!control->isEnabled()) {
            return;
        }
        pressed_ = Target::Control;
        control->setHighlighted(true);
        control->sendActions(ui::ControlEvent::TouchDown);
    } else {
        pressed_ = Target::Cell;
    }
}

void InputRouter::release(ui::Point pixel) {
    Target target = std::exchange(pressed_, Target::None);
    auto view = std::exchange(pressedView_, {}).lock();
    ui::Point point = viewport_.toPoints(pixel);
    if (target == Target::Prompt) {
        releasePrompt(point);
        return;
    }
    if (!view) {
        return;
    }
    auto control = std::dynamic_pointer_cast<ui::Control>(view);
    if (control) {
        control->setHighlighted(false);
    }
    // A release away from what was pressed (or once a transition began) does nothing.
    if (isBlocked() || !isWithin(window_->hitTest(point), *view)) {
        return;
    }
    switch (target) {
        case Target::Control:
            if (auto field = std::dynamic_pointer_cast<ui::TextField>(control)) {
                field->becomeFirstResponder();
            } else {
                control->sendActions(ui::ControlEvent::TouchUpInside);
            }
            break;
        case Target::BarItem:
            if (auto item = barItemAt(*view, point); item && item->isEnabled()) {
                item->sendAction();
            }
            break;
        case Target::Cell: {
            auto grid = std::dynamic_pointer_cast<ui::CollectionView>(view->superview());
            auto cell = std::dynamic_pointer_cast<ui::CollectionViewCell>(view);
            if (auto indexPath = grid && cell ? grid->indexPathForCell(*cell) : std::nullopt) {
                grid->touchItem(*indexPath);
            }
            break;
        }
        default:
            break;
    }
}

void InputRouter::pressPrompt(ui::Point point) {
    auto prompt = ui::Prompt::visiblePrompt();
    PromptLayout layout(*prompt, window_->bounds(), Animator::ease(animator_.promptShown()));
    pressed_ = Target::Prompt;
    pressedButton_ = layout.buttonAt(point);
    if (pressedButton_ < 0 && layout.isOnCard(point)) {
        pressed_ = Target::None;
    }
}

void InputRouter::releasePrompt(ui::Point point) {
    auto prompt = ui::Prompt::visiblePrompt();
    if (!prompt) {
        return;
    }
    PromptLayout layout(*prompt, window_->bounds(), Animator::ease(animator_.promptShown()));
    int button = layout.buttonAt(point);
    if (pressedButton_ >= 0 && button == pressedButton_) {
        prompt->clickButtonAtIndex(button);
    } else if (pressedButton_ < 0 && layout.isSheet() && !layout.isOnCard(point)) {
        // A tap beside a sheet puts it away, as its cancel button would.
        prompt->dismissWithoutButton();
    }
}

void InputRouter::scroll(ui::Point pixel, double points) {
    for (auto view = window_->hitTest(viewport_.toPoints(pixel)); view; view = view->superview()) {
        if (auto grid = std::dynamic_pointer_cast<ui::CollectionView>(view)) {
            double limit = std::max(0.0, grid->contentSize().height - grid->bounds().height());
            ui::Point offset = grid->contentOffset();
            offset.y = std::clamp(offset.y + points, 0.0, limit);
            grid->setContentOffset(offset);
            return;
        }
    }
}

void InputRouter::text(const std::string& utf8) {
    if (ui::Prompt::visiblePrompt()) {
        return;
    }
    auto field = std::dynamic_pointer_cast<ui::TextField>(window_->firstResponder());
    if (!field) {
        return;
    }
    if (auto accepted = acceptedText(*field, utf8); !accepted.empty()) {
        field->insertText(accepted);
    }
}

void InputRouter::key(EditingKey key) {
    if (auto prompt = ui::Prompt::visiblePrompt()) {
        bool sheet = dynamic_cast<ui::ActionSheet*>(prompt.get()) != nullptr;
        if (key == EditingKey::Escape && (sheet || prompt->cancelButtonIndex() >= 0)) {
            prompt->dismissWithoutButton();
        } else if (key == EditingKey::Return && !sheet) {
            int primary = prompt->firstOtherButtonIndex();
            prompt->clickButtonAtIndex(primary >= 0 ? primary : prompt->cancelButtonIndex());
        }
        return;
    }
    auto field = std::dynamic_pointer_cast<ui::TextField>(window_->firstResponder());
    switch (key) {
        case EditingKey::Backspace:
            if (field) {
                field->deleteBackward();
            }
            break;
        case EditingKey::Tab:
        case EditingKey::BackTab:
            focusNextField(key == EditingKey::Tab ? 1 : -1);
            break;
        case EditingKey::Return:
            if (field) {
                field->pressReturn();
            }
            break;
        case EditingKey::Escape:
            break;
    }
}

void InputRouter::focusNextField(int step) {
    if (isBlocked()) {
        return;
    }
    std::vector<std::shared_ptr<ui::TextField>> fields;
    collectFields(window_, fields);
    if (fields.empty()) {
        return;
    }
    auto current = window_->firstResponder();
    auto it = std::find_if(fields.begin(), fields.end(),
                           [&](const auto& field) { return field == current; });
    int count = static_cast<int>(fields.size());
    int index = it == fields.end() ? (step > 0 ? 0 : count - 1)
                                   : (static_cast<int>(it - fields.begin()) + step + count) % count;
    fields[static_cast<std::size_t>(index)]->becomeFirstResponder();
}

}  // namespace shell
