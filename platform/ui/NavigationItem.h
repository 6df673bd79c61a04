#pragma once

#include <memory>
#include <string>

#include "platform/core/Object.h"
#include "platform/ui/BarButtonItem.h"

namespace ui {

// What a controller shows in the navigation bar while it is on top of the stack.
class NavigationItem : public core::Object {
public:
    static std::shared_ptr<NavigationItem> create(std::string title = {});

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    BarButtonItemPtr rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(BarButtonItemPtr item) { right_ = std::move(item); }
    BarButtonItemPtr leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(BarButtonItemPtr item) { left_ = std::move(item); }

private:
    explicit NavigationItem(std::string title) : title_(std::move(title)) {}

    std::string title_;
    BarButtonItemPtr right_;
    BarButtonItemPtr left_;
};

}  // namespace ui
