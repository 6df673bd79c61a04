#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/ui/ConnectionTable.h"
#include "platform/ui/View.h"

namespace ui {

enum class ControlEvent {
    TouchDown,
    TouchUpInside,
    ValueChanged,
    EditingDidBegin,
    EditingChanged,
    EditingDidEnd,
    EditingDidEndOnExit,
};

// A control's state, in the platform's numbering; Normal is 0.
enum class ControlState : unsigned { Normal = 0, Highlighted = 1, Disabled = 2, Selected = 4 };

// A view that the user works: it sends actions for its events.
class Control : public View {
public:
    static std::shared_ptr<Control> create(Rect frame = {});

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    // The most specific state: disabled, else selected, else highlighted, else normal.
    ControlState state() const;

    void addAction(ActionHandler handler, ControlEvent event = ControlEvent::TouchUpInside);
    // Calls `method` on `target` while the target lives; the control holds it weakly.
    template <class T>
    void addTarget(const std::shared_ptr<T>& target, void (T::*method)(),
                   ControlEvent event = ControlEvent::TouchUpInside) {
        std::weak_ptr<T> weak = target;
        addAction(
            [weak, method](const std::shared_ptr<core::Object>&) {
                if (auto strong = weak.lock()) {
                    ((*strong).*method)();
                }
            },
            event);
    }
    void removeAllActions() { actions_.clear(); }
    std::size_t actionCount(ControlEvent event) const;
    // Runs the actions registered for `event`, in the order they were added.
    void sendActions(ControlEvent event);

    core::Expected<void> setAttribute(const InterfaceValue& value) override;

protected:
    explicit Control(Rect frame = {}) : View(frame) {}
    std::string enabledDescription() const { return enabled_ ? "" : " disabled"; }

private:
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    std::vector<std::pair<ControlEvent, ActionHandler>> actions_;
};

}  // namespace ui
