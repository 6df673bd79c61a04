#include "platform/ui/View.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/InterfaceError.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Window.h"

namespace ui {

View::View(Rect frame) : frame_(frame) {}

View::~View() = default;

std::shared_ptr<View> View::create(Rect frame) {
    return std::shared_ptr<View>(new View(frame));
}

void View::setFrame(Rect frame) {
    frame_ = frame;
}

void View::setAlpha(double alpha) {
    alpha_ = std::clamp(alpha, 0.0, 1.0);
}

void View::addSubview(const std::shared_ptr<View>& view) {
    insertSubview(view, subviews_.size());
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
    assertMainThread();
    if (!view || view.get() == this || isDescendantOf(*view)) {
        return;
    }
    auto self = std::static_pointer_cast<View>(shared_from_this());
    if (view->superview().get() == this) {
        subviews_.erase(std::find(subviews_.begin(), subviews_.end(), view));
    } else {
        view->removeFromSuperview();
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
    view->setSuperview(self);
}

void View::removeFromSuperview() {
    assertMainThread();
    auto parent = superview();
    if (!parent) {
        return;
    }
    auto self = std::static_pointer_cast<View>(shared_from_this());
    parent->willRemoveSubview(self);
    auto& siblings = parent->subviews_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
    setSuperview(nullptr);
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
    if (view && view->superview().get() == this) {
        addSubview(view);
    }
}

void View::setSuperview(const std::shared_ptr<View>& superview) {
    auto before = window();
    superview_ = superview;
    if (window() != before) {
        notifyMovedToWindow();
    }
}

void View::notifyMovedToWindow() {
    didMoveToWindow();
    for (const auto& child : std::vector<std::shared_ptr<View>>(subviews_)) {
        child->notifyMovedToWindow();
    }
}

bool View::isDescendantOf(const View& ancestor) const {
    for (auto view = superview(); view; view = view->superview()) {
        if (view.get() == &ancestor) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<Window> View::window() const {
    auto top = superview();
    if (!top) {
        // A window is its own window.
        return std::dynamic_pointer_cast<Window>(
            std::const_pointer_cast<core::Object>(shared_from_this()));
    }
    while (auto parent = top->superview()) {
        top = parent;
    }
    return std::dynamic_pointer_cast<Window>(top);
}

bool View::isVisibleOnScreen() const {
    const View* view = this;
    std::shared_ptr<View> holder;
    while (true) {
        if (view->hidden_ || view->alpha_ <= 0.01) {
            return false;
        }
        holder = view->superview();
        if (!holder) {
            return dynamic_cast<const Window*>(view) != nullptr;
        }
        view = holder.get();
    }
}

Rect View::frameInWindow() const {
    Rect result = frame_;
    for (auto view = superview(); view; view = view->superview()) {
        if (!view->superview()) {
            break;  // the window's own frame is in screen coordinates
        }
        Point origin = view->bounds().origin;
        result.origin.x += view->frame_.origin.x - origin.x;
        result.origin.y += view->frame_.origin.y - origin.y;
    }
    return result;
}

std::shared_ptr<View> View::hitTest(Point point) {
    if (hidden_ || alpha_ <= 0.01 || !userInteractionEnabled_ || !pointInside(point)) {
        return nullptr;
    }
    Point origin = bounds().origin;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        const Rect& childFrame = (*it)->frame_;
        Point inChild{point.x + origin.x - childFrame.origin.x,
                      point.y + origin.y - childFrame.origin.y};
        if (auto hit = (*it)->hitTest(inChild)) {
            return hit;
        }
    }
    return std::static_pointer_cast<View>(shared_from_this());
}

std::shared_ptr<View> View::viewWithTag(int tag) {
    if (tag_ == tag) {
        return std::static_pointer_cast<View>(shared_from_this());
    }
    for (const auto& child : subviews_) {
        if (auto found = child->viewWithTag(tag)) {
            return found;
        }
    }
    return nullptr;
}

std::shared_ptr<View> View::viewWithIdentifier(std::string_view identifier) {
    if (identifier_ == identifier) {
        return std::static_pointer_cast<View>(shared_from_this());
    }
    for (const auto& child : subviews_) {
        if (auto found = child->viewWithIdentifier(identifier)) {
            return found;
        }
    }
    return nullptr;
}

void View::setAssociatedObject(const void* key, std::shared_ptr<void> object) {
    if (object) {
        associated_[key] = std::move(object);
    } else {
        associated_.erase(key);
    }
}

std::shared_ptr<void> View::associatedObject(const void* key) const {
    auto found = associated_.find(key);
    return found == associated_.end() ? nullptr : found->second;
}

core::Expected<Color> View::parseColor(const InterfaceValue& value) {
    static const std::map<std::string, Color, std::less<>> names{
        {"clear", Color::clear()},          {"black", Color::black()},
        {"white", Color::white()},          {"gray", Color::gray(0.5)},
        {"darkGray", Color::gray(1.0 / 3)}, {"lightGray", Color::gray(2.0 / 3)},
        {"red", Color{1, 0, 0, 1}},         {"green", Color{0, 1, 0, 1}},
        {"blue", Color{0, 0, 1, 1}}};
    const std::string& text = value.text();
    if (auto named = names.find(text); named != names.end()) {
        return named->second;
    }
    if (text.size() == 7 || text.size() == 9) {
        unsigned int parsed = 0;
        int used = 0;
        if (text[0] == '#' && std::sscanf(text.c_str() + 1, "%x%n", &parsed, &used) == 1 &&
            used == static_cast<int>(text.size()) - 1) {
            unsigned int rgba = text.size() == 7 ? (parsed << 8) | 0xffu : parsed;
            auto channel = [rgba](int shift) { return ((rgba >> shift) & 0xffu) / 255.0; };
            return Color{channel(24), channel(16), channel(8), channel(0)};
        }
    }
    return value.badValue("a colour (#rrggbb, #rrggbbaa or a name such as black)");
}

core::Expected<void> View::setAttribute(const InterfaceValue& value) {
    const std::string& key = value.key();
    if (key == "frame") {
        return applyValue(value.asRect(), [this](auto parsed) { setFrame(parsed); });
    }
    if (key == "hidden") {
        return applyValue(value.asBool(), [this](auto parsed) { setHidden(parsed); });
    }
    if (key == "userInteraction") {
        return applyValue(value.asBool(),
                          [this](auto parsed) { setUserInteractionEnabled(parsed); });
    }
    if (key == "alpha") {
        return applyValue(value.asNumber(), [this](auto parsed) { setAlpha(parsed); });
    }
    if (key == "tag") {
        return applyValue(value.asInteger(), [this](auto parsed) { setTag(parsed); });
    }
    if (key == "id") {
        setIdentifier(value.text());
        return {};
    }
    if (key == "background") {
        return applyValue(parseColor(value), [this](auto color) { setBackgroundColor(color); });
    }
    if (key == "contentMode") {
        auto mode = value.asChoice({"scaleToFill", "aspectFit", "aspectFill", "center"});
        if (!mode) {
            return mode.error();
        }
        const ContentMode modes[] = {ContentMode::ScaleToFill, ContentMode::ScaleAspectFit,
                                     ContentMode::ScaleAspectFill, ContentMode::Center};
        setContentMode(modes[*mode]);
        return {};
    }
    return makeInterfaceError(InterfaceError::UnknownProperty,
                              className() + " has no property \"" + key + "\"");
}

std::string View::stateDescription() const {
    return {};
}

}  // namespace ui
