#include "platform/ui/NavigationBar.h"

#include "platform/ui/Label.h"

namespace ui {

std::shared_ptr<NavigationBar> NavigationBar::create(Rect frame) {
    return std::shared_ptr<NavigationBar>(new NavigationBar(frame));
}

std::vector<BarButtonItemPtr> NavigationBar::items() const {
    std::vector<BarButtonItemPtr> result;
    if (auto item = topItem()) {
        if (auto left = item->leftBarButtonItem()) {
            result.push_back(left);
        }
        if (auto right = item->rightBarButtonItem()) {
            result.push_back(right);
        }
    }
    return result;
}

std::string NavigationBar::stateDescription() const {
    auto item = topItem();
    std::string title = item ? item->title() : std::string();
    return "title=" + quotedForDump(title) + " items: " + describeItems(items());
}

}  // namespace ui
