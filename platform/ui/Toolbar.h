#pragma once

#include <memory>
#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/View.h"

namespace ui {

enum class BarStyle { Default = 0, Black = 1 };

// A bar of bar button items along an edge of the screen.
class Toolbar : public View {
public:
    static std::shared_ptr<Toolbar> create(Rect frame = {});

    const std::vector<BarButtonItemPtr>& items() const { return items_; }
    void setItems(std::vector<BarButtonItemPtr> items, Animated animated = Animated::No);
    BarStyle barStyle() const { return barStyle_; }
    void setBarStyle(BarStyle style) { barStyle_ = style; }

    core::Expected<void> setAttribute(const InterfaceValue& value) override;
    std::string stateDescription() const override;

protected:
    explicit Toolbar(Rect frame) : View(frame) {}

private:
    std::vector<BarButtonItemPtr> items_;
    BarStyle barStyle_ = BarStyle::Default;
};

// "[Take] [Timed] [Start disabled]" for dumps; spaces are left out.
std::string describeItems(const std::vector<BarButtonItemPtr>& items);

}  // namespace ui
