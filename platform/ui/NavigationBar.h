#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/NavigationItem.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/View.h"

namespace ui {

// The bar at the top of a navigation controller, showing the top controller's item.
class NavigationBar : public View {
public:
    static std::shared_ptr<NavigationBar> create(Rect frame = {});
    static constexpr double kHeight = 44;

    std::shared_ptr<NavigationItem> topItem() const { return topItem_.lock(); }
    void setTopItem(const std::shared_ptr<NavigationItem>& item) { topItem_ = item; }
    // Empty: the platform's default tint.
    std::optional<Color> tintColor() const { return tintColor_; }
    void setTintColor(std::optional<Color> color) { tintColor_ = color; }
    BarStyle barStyle() const { return barStyle_; }
    void setBarStyle(BarStyle style) { barStyle_ = style; }
    // The items a tap can reach: left, then right.
    std::vector<BarButtonItemPtr> items() const;

    std::string stateDescription() const override;

protected:
    explicit NavigationBar(Rect frame) : View(frame) {}

private:
    std::weak_ptr<NavigationItem> topItem_;
    std::optional<Color> tintColor_;
    BarStyle barStyle_ = BarStyle::Default;
};

}  // namespace ui
