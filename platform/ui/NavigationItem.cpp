#include "platform/ui/NavigationItem.h"

namespace ui {

std::shared_ptr<NavigationItem> NavigationItem::create(std::string title) {
    return std::shared_ptr<NavigationItem>(new NavigationItem(std::move(title)));
}

}  // namespace ui
