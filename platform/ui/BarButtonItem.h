#pragma once

#include <memory>
#include <string>

#include "platform/ui/ConnectionTable.h"
#include "platform/ui/InterfaceValue.h"
#include "platform/ui/Responder.h"

namespace ui {

// The platform's numbering of bar button styles.
enum class BarButtonItemStyle { Plain = 0, Bordered = 1, Done = 2 };
enum class BarButtonSystemItem { None, FlexibleSpace, FixedSpace };

// A button on a toolbar or navigation bar. It is not a view: its bar lays it out.
class BarButtonItem : public Responder {
public:
    static std::shared_ptr<BarButtonItem> create(
        std::string title = {}, BarButtonItemStyle style = BarButtonItemStyle::Plain,
        ActionHandler action = nullptr);
    // initWithTitle:style:target:action: — the item holds its target weakly.
    template <class T>
    static std::shared_ptr<BarButtonItem> create(
        std::string title, BarButtonItemStyle style, const std::shared_ptr<T>& target,
        void (T::*method)(const std::shared_ptr<core::Object>& sender)) {
        std::weak_ptr<T> weak = target;
        return create(std::move(title), style,
                      [weak, method](const std::shared_ptr<core::Object>& sender) {
                          if (auto strong = weak.lock()) {
                              ((*strong).*method)(sender);
                          }
                      });
    }
    static std::shared_ptr<BarButtonItem> create(BarButtonSystemItem systemItem);

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    BarButtonItemStyle style() const { return style_; }
    void setStyle(BarButtonItemStyle style) { style_ = style; }
    BarButtonSystemItem systemItem() const { return systemItem_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    double width() const { return width_; }
    void setWidth(double width) { width_ = width; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

    void setAction(ActionHandler action) { action_ = std::move(action); }
    bool hasAction() const { return action_ != nullptr; }
    // What a tap does: the action with the item as sender (even when disabled: the bar
    // decides whether a tap reaches the item).
    void sendAction();

    // Applies one property of an interface description.
    core::Expected<void> setAttribute(const InterfaceValue& value);
    std::string stateDescription() const;

private:
    BarButtonItem(std::string title, BarButtonItemStyle style, ActionHandler action,
                  BarButtonSystemItem systemItem);

    std::string title_;
    BarButtonItemStyle style_;
    ActionHandler action_;
    BarButtonSystemItem systemItem_;
    bool enabled_ = true;
    double width_ = 0;
    int tag_ = 0;
    std::string identifier_;
};

using BarButtonItemPtr = std::shared_ptr<BarButtonItem>;

}  // namespace ui
