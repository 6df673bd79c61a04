#include "platform/ui/ViewClassRegistry.h"

#include <map>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"

namespace ui {

namespace {

using Registry = std::map<std::string, ViewClassRegistry::Factory, std::less<>>;

Registry& registry() {
    static Registry* classes = [] {
        auto* made = new Registry;
        auto add = [made](std::string name, ViewClassRegistry::Factory factory) {
            made->emplace(std::move(name), std::move(factory));
        };
        add("View", [] { return View::create(); });
        add("Label", [] { return Label::create(); });
        add("Button", [] { return Button::create(); });
        add("TextField", [] { return TextField::create(); });
        add("ImageView", [] { return ImageView::create(Rect{}); });
        add("ActivityIndicatorView", [] { return ActivityIndicatorView::create(); });
        add("ProgressView", [] { return ProgressView::create(); });
        add("Toolbar", [] { return Toolbar::create(); });
        add("NavigationBar", [] { return NavigationBar::create(); });
        add("BarButtonItem", [] { return BarButtonItem::create(); });
        add("CollectionView", [] { return CollectionView::create(); });
        add("CollectionViewCell", [] { return CollectionViewCell::create(); });
        return made;
    }();
    return *classes;
}

}  // namespace

void ViewClassRegistry::add(std::string name, Factory factory) {
    assertMainThread();
    registry()[std::move(name)] = std::move(factory);
}

bool ViewClassRegistry::contains(std::string_view name) {
    return registry().find(name) != registry().end();
}

std::shared_ptr<core::Object> ViewClassRegistry::make(std::string_view name) {
    auto found = registry().find(name);
    return found == registry().end() ? nullptr : found->second();
}

}  // namespace ui
