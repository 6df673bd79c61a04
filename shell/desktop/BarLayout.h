#pragma once

#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace shell {

// Where each item of a toolbar or navigation bar sits: titled items as wide as their text,
// fixed spaces as wide as they say, flexible spaces sharing what is left. With no flexible
// space the items are centred. Drawing and tapping both use this.
class BarLayout {
public:
    struct Slot {
        ui::BarButtonItemPtr item;
        ui::Rect frame;
    };

    static std::vector<Slot> layout(const std::vector<ui::BarButtonItemPtr>& items,
                                    ui::Rect bounds);
    // The titled item under `point`, if any (spaces are not items a tap can reach).
    static ui::BarButtonItemPtr itemAt(const std::vector<ui::BarButtonItemPtr>& items,
                                       ui::Rect bounds, ui::Point point);
    static double titleWidth(const ui::BarButtonItem& item);
    // What a toolbar or navigation bar shows, in this layout's terms: a navigation bar's left
    // item at the left edge, its right item at the right. Empty for any other view.
    static std::vector<ui::BarButtonItemPtr> itemsOf(const ui::View& bar);
};

}  // namespace shell
