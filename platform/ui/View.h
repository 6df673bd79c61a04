#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Expected.h"
#include "platform/ui/AffineTransform.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceValue.h"
#include "platform/ui/Responder.h"

namespace ui {

class Window;
class ViewController;

// Whether a change is animated on the run loop's clock or applied at once.
enum class Animated { No, Yes };

// How an image view fits its image into its bounds.
enum class ContentMode { ScaleToFill = 0, ScaleAspectFit = 1, ScaleAspectFill = 2, Center = 4 };

// Which of a view's margins and sizes follow its superview's resizing; combine with |.
enum class AutoresizingMask : unsigned {
    None = 0,
    FlexibleLeftMargin = 1 << 0,
    FlexibleWidth = 1 << 1,
    FlexibleRightMargin = 1 << 2,
    FlexibleTopMargin = 1 << 3,
    FlexibleHeight = 1 << 4,
    FlexibleBottomMargin = 1 << 5,
};
constexpr AutoresizingMask operator|(AutoresizingMask x, AutoresizingMask y) {
    return static_cast<AutoresizingMask>(static_cast<unsigned>(x) | static_cast<unsigned>(y));
}
constexpr bool hasFlag(AutoresizingMask mask, AutoresizingMask flag) {
    return (static_cast<unsigned>(mask) & static_cast<unsigned>(flag)) != 0;
}

// A rectangle of the screen and the root of every visible thing. A view holds state only —
// frame, visibility, children — and a renderer or the headless driver reads it. Main thread.
class View : public Responder {
public:
    static std::shared_ptr<View> create(Rect frame = {});
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // The untransformed rectangle in the superview's coordinates; the transform turns the
    // view about the frame's centre. Resizing lays children out by their autoresizing masks.
    Rect frame() const { return frame_; }
    void setFrame(Rect frame);
    AffineTransform transform() const { return transform_; }
    void setTransform(const AffineTransform& transform) { transform_ = transform; }
    AutoresizingMask autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(AutoresizingMask mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }
    // The view's own coordinate space: its size at the origin.
    Rect bounds() const { return Rect(Point{}, frame_.size); }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    // Clear by default.
    Color backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(Color color) { backgroundColor_ = color; }
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode) { contentMode_ = mode; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // A name for finding the view: the outlet it was connected to, unless set otherwise.
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    std::shared_ptr<View> superview() const { return superview_.lock(); }
    // Adds on top of the existing children, moving the view from any former parent.
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<View>& view);
    bool isDescendantOf(const View& ancestor) const;
    std::shared_ptr<Window> window() const;

    // Whether the view and all its ancestors are shown and it sits in a window.
    bool isVisibleOnScreen() const;
    // The bounds in window coordinates (the box around them when turned).
    Rect frameInWindow() const;
    // Maps this view's coordinates into the superview's: the frame's place and the transform.
    // A renderer draws the view's contents through it.
    AffineTransform transformToSuperview() const;
    // Maps this view's coordinates into those of the root of its tree (the window).
    AffineTransform transformToWindow() const;
    // A point of this view in `view`'s coordinates, and back; a null view is the window.
    // Empty when a transform on the way cannot be inverted (a view scaled to nothing).
    std::optional<Point> convertPointTo(Point point, const View* view) const;
    std::optional<Point> convertPointFrom(Point point, const View* view) const;
    // The deepest visible, interactive view containing `point` (in this view's coordinates),
    // through every child's transform.
    virtual std::shared_ptr<View> hitTest(Point point);
    bool pointInside(Point point) const { return bounds().contains(point); }

    std::shared_ptr<View> viewWithTag(int tag);
    std::shared_ptr<View> viewWithIdentifier(std::string_view identifier);

    // Extra objects that other layers attach to a view under a key of their own (the image
    // loading of the HTTP layer keeps its running request here). Held strongly.
    void setAssociatedObject(const void* key, std::shared_ptr<void> object);
    std::shared_ptr<void> associatedObject(const void* key) const;

    // Applies one property of an interface description; unknown keys are an error.
    virtual core::Expected<void> setAttribute(const InterfaceValue& value);
    // "black", "#rrggbb" or "#rrggbbaa" as a colour; a BadValue error otherwise.
    static core::Expected<Color> parseColor(const InterfaceValue& value);
    // One line of the view's state for dumps: text, title, progress, ... (empty for a plain view).
    virtual std::string stateDescription() const;

protected:
    explicit View(Rect frame = {});
    virtual void didMoveToWindow() {}
    virtual void willRemoveSubview(const std::shared_ptr<View>&) {}

private:
    void setSuperview(const std::shared_ptr<View>& superview);
    void notifyMovedToWindow();

    void resizeWithOldSuperviewSize(Size oldSize, Size newSize);

    Rect frame_;
    AffineTransform transform_;
    AutoresizingMask autoresizingMask_ = AutoresizingMask::None;
    bool autoresizesSubviews_ = true;
    bool hidden_ = false;
    double alpha_ = 1.0;
    bool userInteractionEnabled_ = true;
    Color backgroundColor_ = Color::clear();
    ContentMode contentMode_ = ContentMode::ScaleToFill;
    int tag_ = 0;
    std::string identifier_;
    std::vector<std::shared_ptr<View>> subviews_;
    std::weak_ptr<View> superview_;
    std::map<const void*, std::shared_ptr<void>> associated_;
};

using ViewPtr = std::shared_ptr<View>;

}  // namespace ui
