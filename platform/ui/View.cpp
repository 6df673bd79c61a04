#include "platform/ui/View.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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
    const Size oldSize = frame_.size;
    frame_ = frame;
    if (autoresizesSubviews_ && !(oldSize == frame.size)) {
        for (const auto& child : subviews_) {
            child->resizeWithOldSuperviewSize(oldSize, frame.size);
        }
    }
}

namespace {

// One axis of autoresizing: the change of the superview's length is shared by the flexible
// parts (margin before, length, margin after) in proportion to their lengths, or evenly
// when they have none. Returns the new start and length.
std::pair<double, double> resizeAxis(double start, double length, double oldExtent,
                                     double newExtent, const bool flexible[3]) {
    const double parts[3] = {start, length, oldExtent - start - length};
    double flexibleTotal = 0;
    int flexibleCount = 0;
    for (int i = 0; i < 3; ++i) {
        if (flexible[i]) {
            flexibleTotal += std::max(0.0, parts[i]);
            ++flexibleCount;
        }
    }
    if (flexibleCount == 0) {
        return {start, length};
    }
    const double delta = newExtent - oldExtent;
    double share[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (flexible[i]) {
            share[i] = flexibleTotal > 0 ? delta * std::max(0.0, parts[i]) / flexibleTotal
                                         : delta / flexibleCount;
        }
    }
    return {start + share[0], std::max(0.0, length + share[1])};
}

}  // namespace

void View::resizeWithOldSuperviewSize(Size oldSize, Size newSize) {
    const AutoresizingMask m = autoresizingMask_;
    if (m == AutoresizingMask::None) {
        return;
    }
    const bool horizontal[3] = {hasFlag(m, AutoresizingMask::FlexibleLeftMargin),
                                hasFlag(m, AutoresizingMask::FlexibleWidth),
                                hasFlag(m, AutoresizingMask::FlexibleRightMargin)};
    const bool vertical[3] = {hasFlag(m, AutoresizingMask::FlexibleTopMargin),
                              hasFlag(m, AutoresizingMask::FlexibleHeight),
                              hasFlag(m, AutoresizingMask::FlexibleBottomMargin)};
    auto [x, width] =
        resizeAxis(frame_.origin.x, frame_.size.width, oldSize.width, newSize.width, horizontal);
    auto [y, height] =
        resizeAxis(frame_.origin.y, frame_.size.height, oldSize.height, newSize.height, vertical);
    setFrame(Rect(x, y, width, height));
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

AffineTransform View::transformToSuperview() const {
    if (transform_.isIdentity()) {
        // Exact, so that untransformed edges hit-test as they always did.
        return AffineTransform::makeTranslation(frame_.origin.x, frame_.origin.y);
    }
    const double halfWidth = frame_.size.width / 2;
    const double halfHeight = frame_.size.height / 2;
    return AffineTransform::makeTranslation(-halfWidth, -halfHeight)
        .concat(transform_)
        .concat(AffineTransform::makeTranslation(frame_.origin.x + halfWidth,
                                                 frame_.origin.y + halfHeight));
}

AffineTransform View::transformToWindow() const {
    AffineTransform result;
    const View* view = this;
    std::shared_ptr<View> holder = superview();
    // The root's own frame is in screen coordinates, so the walk stops below it.
    while (holder) {
        result = result.concat(view->transformToSuperview());
        view = holder.get();
        holder = holder->superview();
    }
    return result;
}

Rect View::frameInWindow() const {
    if (!superview()) {
        return frame_;  // a window (or a detached root) is placed by its own frame
    }
    return transformToWindow().apply(bounds());
}

std::optional<Point> View::convertPointTo(Point point, const View* view) const {
    const Point inWindow = transformToWindow().apply(point);
    if (view == nullptr) {
        return inWindow;
    }
    std::optional<AffineTransform> fromWindow = view->transformToWindow().inverted();
    if (!fromWindow) {
        return std::nullopt;
    }
    return fromWindow->apply(inWindow);
}

std::optional<Point> View::convertPointFrom(Point point, const View* view) const {
    const Point inWindow = view ? view->transformToWindow().apply(point) : point;
    std::optional<AffineTransform> fromWindow = transformToWindow().inverted();
    if (!fromWindow) {
        return std::nullopt;
    }
    return fromWindow->apply(inWindow);
}

std::shared_ptr<View> View::hitTest(Point point) {
    if (hidden_ || alpha_ <= 0.01 || !userInteractionEnabled_ || !pointInside(point)) {
        return nullptr;
    }
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        // A child scaled to nothing covers no point.
        std::optional<AffineTransform> intoChild = (*it)->transformToSuperview().inverted();
        if (!intoChild) {
            continue;
        }
        if (auto hit = (*it)->hitTest(intoChild->apply(point))) {
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
