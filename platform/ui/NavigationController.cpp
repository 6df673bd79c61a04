#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewTransition.h"

namespace ui {

NavigationController::NavigationController() : ViewController({}) {}

std::shared_ptr<NavigationController> NavigationController::create(ViewControllerPtr root) {
    auto navigation = std::shared_ptr<NavigationController>(new NavigationController());
    if (root) {
        navigation->stack_.push_back(root);
        root->setParentViewController(navigation);
    }
    return navigation;
}

ViewControllerPtr NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

ViewControllerPtr NavigationController::visibleViewController() const {
    auto top = topViewController();
    if (presentedViewController()) {
        return presentedViewController();
    }
    return top && top->presentedViewController() ? top->presentedViewController() : top;
}

std::shared_ptr<NavigationBar> NavigationController::navigationBar() {
    if (!bar_) {
        bar_ = NavigationBar::create(
            Rect(0, 0, Screen::main().bounds().width(), NavigationBar::kHeight));
    }
    return bar_;
}

std::shared_ptr<View> NavigationController::loadView() {
    auto container = View::create(Screen::main().bounds());
    container->addSubview(navigationBar());
    return container;
}

void NavigationController::viewDidLoad() {
    ViewController::viewDidLoad();
    if (auto top = topViewController()) {
        view()->insertSubview(top->view(), 0);
        navigationBar()->setTopItem(top->navigationItem());
        layoutContent();
    }
}

Rect NavigationController::contentFrame() {
    Rect bounds = isViewLoaded() ? view()->bounds() : Screen::main().bounds();
    if (barHidden_) {
        return bounds;
    }
    return Rect(0, NavigationBar::kHeight, bounds.width(),
                bounds.height() - NavigationBar::kHeight);
}

void NavigationController::layoutContent() {
    if (!isViewLoaded()) {
        return;
    }
    Rect container = view()->bounds();
    bar_->setFrame(Rect(0, 0, container.width(), NavigationBar::kHeight));
    bar_->setHidden(barHidden_);
    if (auto top = topViewController()) {
        top->view()->setFrame(contentFrame());
    }
}

void NavigationController::setNavigationBarHidden(bool hidden, Animated) {
    barHidden_ = hidden;
    layoutContent();
}

void NavigationController::pushViewController(ViewControllerPtr controller, Animated animated) {
    assertMainThread();
    if (!controller || std::find(stack_.begin(), stack_.end(), controller) != stack_.end() ||
        controller->parentViewController()) {
        core::log("Cannot push " + (controller ? controller->className() : "nothing") +
                  ": it is already in a stack");
        return;
    }
    auto from = topViewController();
    stack_.push_back(controller);
    controller->setParentViewController(
        std::static_pointer_cast<ViewController>(shared_from_this()));
    show(from, controller, animated, Direction::Forward);
}

ViewControllerPtr NavigationController::popViewControllerAnimated(Animated animated) {
    assertMainThread();
    if (stack_.size() < 2) {
        return nullptr;
    }
    auto popped = stack_.back();
    stack_.pop_back();
    show(popped, topViewController(), animated, Direction::Back);
    return popped;
}

std::vector<ViewControllerPtr> NavigationController::popToViewController(
    const ViewControllerPtr& controller, Animated animated) {
    assertMainThread();
    auto found = std::find(stack_.begin(), stack_.end(), controller);
    if (found == stack_.end() || found + 1 == stack_.end()) {
        return {};
    }
    std::vector<ViewControllerPtr> popped(found + 1, stack_.end());
    stack_.erase(found + 1, stack_.end());
    for (std::size_t i = 0; i + 1 < popped.size(); ++i) {
        popped[i]->setParentViewController(nullptr);
    }
    show(popped.back(), controller, animated, Direction::Back);
    return popped;
}

std::vector<ViewControllerPtr> NavigationController::popToRootViewControllerAnimated(
    Animated animated) {
    return stack_.empty() ? std::vector<ViewControllerPtr>{}
                          : popToViewController(stack_.front(), animated);
}

void NavigationController::setViewControllers(std::vector<ViewControllerPtr> controllers,
                                              Animated animated) {
    assertMainThread();
    auto from = topViewController();
    for (const auto& old : stack_) {
        if (std::find(controllers.begin(), controllers.end(), old) == controllers.end() &&
            old != from) {
            old->setParentViewController(nullptr);
        }
    }
    stack_ = std::move(controllers);
    auto self = std::static_pointer_cast<ViewController>(shared_from_this());
    for (const auto& controller : stack_) {
        controller->setParentViewController(self);
    }
    if (topViewController() != from) {
        show(from, topViewController(), animated, Direction::Forward);
    }
}

void NavigationController::show(const ViewControllerPtr& from, const ViewControllerPtr& to,
                                Animated animated, Direction direction) {
    if (transition_) {
        transition_->finish();  // the next change starts from a settled screen
    }
    if (!isViewLoaded()) {
        if (from && direction == Direction::Back) {
            from->setParentViewController(nullptr);
        }
        return;
    }
    auto protectedThis = shared_from_this();
    bool onScreen = isOnScreen();
    if (!onScreen) {
        animated = Animated::No;
    }
    auto toView = to ? to->view() : nullptr;
    if (auto listener = delegate(); listener && to) {
        listener->willShowViewController(*this, to, animated);
    }
    navigationBar()->setTopItem(to ? to->navigationItem() : nullptr);
    if (onScreen) {
        if (from) {
            from->beginAppearanceTransition(Appearing::No, animated);
        }
        if (to) {
            to->beginAppearanceTransition(Appearing::Yes, animated);
        }
    }
    if (toView) {
        toView->setFrame(contentFrame());
        if (toView->superview() != view()) {
            view()->insertSubview(toView, view()->subviews().size() - 1);  // below the bar
        }
    }
    std::weak_ptr<NavigationController> weak =
        std::static_pointer_cast<NavigationController>(shared_from_this());
    auto complete = [weak, from, to, animated, direction, onScreen] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        self->transition_.reset();
        if (from && from != self->topViewController() && from->isViewLoaded()) {
            if (from->view()->superview() == self->view()) {
                from->view()->removeFromSuperview();
            }
        }
        if (onScreen) {
            if (from) {
                from->endAppearanceTransition();
            }
            if (to) {
                to->endAppearanceTransition();
            }
        }
        if (from && direction == Direction::Back) {
            from->setParentViewController(nullptr);
        }
        if (auto listener = self->delegate(); listener && to) {
            listener->didShowViewController(*self, to, animated);
        }
    };
    if (animated == Animated::No) {
        complete();
        return;
    }
    auto kind = direction == Direction::Forward ? TransitionKind::Push : TransitionKind::Pop;
    transition_ = ViewTransition::start(kind, from ? from->view() : nullptr, toView,
                                        ViewTransition::kNavigationDuration, complete);
}

void NavigationController::viewWillAppear(Animated animated) {
    ViewController::viewWillAppear(animated);
    if (auto top = topViewController()) {
        if (auto listener = delegate()) {
            listener->willShowViewController(*this, top, animated);
        }
        top->beginAppearanceTransition(Appearing::Yes, animated);
    }
}

void NavigationController::viewDidAppear(Animated animated) {
    ViewController::viewDidAppear(animated);
    if (auto top = topViewController()) {
        top->endAppearanceTransition();
        if (auto listener = delegate()) {
            listener->didShowViewController(*this, top, animated);
        }
    }
}

void NavigationController::viewWillDisappear(Animated animated) {
    ViewController::viewWillDisappear(animated);
    if (auto top = topViewController()) {
        top->beginAppearanceTransition(Appearing::No, animated);
    }
}

void NavigationController::viewDidDisappear(Animated animated) {
    ViewController::viewDidDisappear(animated);
    if (auto top = topViewController()) {
        top->endAppearanceTransition();
    }
}

}  // namespace ui
