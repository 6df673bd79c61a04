#pragma once

#include <memory>
#include <vector>

#include "platform/ui/NavigationBar.h"
#include "platform/ui/ViewController.h"

namespace ui {

class NavigationController;

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    // Before a controller's view comes on screen, by push, pop or as the first screen.
    virtual void willShowViewController(NavigationController&, const ViewControllerPtr&, Animated) {
    }
    virtual void didShowViewController(NavigationController&, const ViewControllerPtr&, Animated) {}
};

// A stack of controllers of which the top one is on screen, under a navigation bar that
// can be hidden. The stack changes at once; an animated change completes its view change and
// the appearance calls on the clock. Main thread.
class NavigationController : public ViewController {
public:
    static std::shared_ptr<NavigationController> create(ViewControllerPtr root);

    const std::vector<ViewControllerPtr>& viewControllers() const { return stack_; }
    ViewControllerPtr topViewController() const;
    // The top controller, or what it presents.
    ViewControllerPtr visibleViewController() const;

    void pushViewController(ViewControllerPtr controller, Animated animated);
    // Returns the popped controller; the root is never popped (null).
    ViewControllerPtr popViewControllerAnimated(Animated animated);
    // Pops everything above `controller`; returns the popped ones, bottom first. Empty when
    // `controller` is not on the stack.
    std::vector<ViewControllerPtr> popToViewController(const ViewControllerPtr& controller,
                                                       Animated animated);
    std::vector<ViewControllerPtr> popToRootViewControllerAnimated(Animated animated);
    void setViewControllers(std::vector<ViewControllerPtr> controllers, Animated animated);

    std::shared_ptr<NavigationBar> navigationBar();
    bool isNavigationBarHidden() const { return barHidden_; }
    void setNavigationBarHidden(bool hidden, Animated animated = Animated::No);

    void setDelegate(std::weak_ptr<NavigationControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<NavigationControllerDelegate> delegate() const { return delegate_.lock(); }

    // Whether a push or pop is still animating.
    bool isTransitioning() const { return transition_ != nullptr; }

    ViewControllerPtr childViewControllerForDisplay() const override { return topViewController(); }
    void viewWillAppear(Animated animated) override;
    void viewDidAppear(Animated animated) override;
    void viewWillDisappear(Animated animated) override;
    void viewDidDisappear(Animated animated) override;

protected:
    NavigationController();
    std::shared_ptr<View> loadView() override;
    void viewDidLoad() override;

private:
    enum class Direction { Forward, Back };
    void show(const ViewControllerPtr& from, const ViewControllerPtr& to, Animated animated,
              Direction direction);
    void layoutContent();
    Rect contentFrame();

    std::vector<ViewControllerPtr> stack_;
    std::shared_ptr<NavigationBar> bar_;
    bool barHidden_ = false;
    std::weak_ptr<NavigationControllerDelegate> delegate_;
    std::shared_ptr<ViewTransition> transition_;
};

using NavigationControllerPtr = std::shared_ptr<NavigationController>;

}  // namespace ui
