#include "shell/desktop/BarLayout.h"

#include <algorithm>

#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/Toolbar.h"
#include "shell/desktop/Theme.h"
#include "shell/desktop/Typesetter.h"

namespace shell {

double BarLayout::titleWidth(const ui::BarButtonItem& item) {
    TextStyle style;
    style.size = Theme::kBody;
    style.weight =
        item.style() == ui::BarButtonItemStyle::Done ? FontWeight::Bold : FontWeight::Regular;
    double text = Typesetter::width(item.title(), style) + 2 * Theme::kBarItemPadding;
    return std::max(item.width(), text);
}

std::vector<BarLayout::Slot> BarLayout::layout(const std::vector<ui::BarButtonItemPtr>& items,
                                               ui::Rect bounds) {
    std::vector<double> widths;
    double fixed = 0;
    int flexible = 0;
    for (const auto& item : items) {
        double width = 0;
        if (item->systemItem() == ui::BarButtonSystemItem::FlexibleSpace) {
            ++flexible;
        } else if (item->systemItem() == ui::BarButtonSystemItem::FixedSpace) {
            width = item->width();
        } else {
            width = titleWidth(*item);
        }
        widths.push_back(width);
        fixed += width;
    }
    double inner = bounds.width() - 2 * Theme::kSheetMargin;
    double spare = std::max(0.0, inner - fixed);
    double flexWidth = flexible > 0 ? spare / flexible : 0;
    double x = bounds.minX() + Theme::kSheetMargin + (flexible > 0 ? 0 : spare / 2);
    std::vector<Slot> slots;
    for (std::size_t i = 0; i < items.size(); ++i) {
        bool flex = items[i]->systemItem() == ui::BarButtonSystemItem::FlexibleSpace;
        double width = flex ? flexWidth : widths[i];
        slots.push_back({items[i], ui::Rect(x, bounds.minY(), width, bounds.height())});
        x += width;
    }
    return slots;
}

std::vector<ui::BarButtonItemPtr> BarLayout::itemsOf(const ui::View& bar) {
    if (auto* toolbar = dynamic_cast<const ui::Toolbar*>(&bar)) {
        return toolbar->items();
    }
    auto* navigation = dynamic_cast<const ui::NavigationBar*>(&bar);
    auto item = navigation ? navigation->topItem() : nullptr;
    if (!item) {
        return {};
    }
    static const auto flexible = ui::BarButtonItem::create(ui::BarButtonSystemItem::FlexibleSpace);
    std::vector<ui::BarButtonItemPtr> items;
    if (item->leftBarButtonItem()) {
        items.push_back(item->leftBarButtonItem());
    }
    items.push_back(flexible);
    if (item->rightBarButtonItem()) {
        items.push_back(item->rightBarButtonItem());
    }
    return items;
}

ui::BarButtonItemPtr BarLayout::itemAt(const std::vector<ui::BarButtonItemPtr>& items,
                                       ui::Rect bounds, ui::Point point) {
    for (const auto& slot : layout(items, bounds)) {
        if (slot.item->systemItem() == ui::BarButtonSystemItem::None &&
            slot.frame.contains(point)) {
            return slot.item;
        }
    }
    return nullptr;
}

}  // namespace shell
