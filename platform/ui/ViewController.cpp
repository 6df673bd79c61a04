#include "platform/ui/ViewController.h"

#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/MainThreadPrivate.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewTransition.h"
#include "platform/ui/Window.h"

namespace ui {

ViewController::ViewController(std::string nibName) : nibName_(std::move(nibName)) {}

ViewController::~ViewController() = default;

std::shared_ptr<ViewController> ViewController::create(std::string nibName) {
    return std::shared_ptr<ViewController>(new ViewController(std::move(nibName)));
}

std::shared_ptr<View> ViewController::view() {
    (void)loadViewIfNeeded();
    return view_;
}

std::shared_ptr<View> ViewController::loadView() {
    return View::create(Screen::main().bounds());
}

core::Expected<void> ViewController::loadViewIfNeeded() {
    assertMainThread();
    if (view_) {
        return loadError_ ? core::Expected<void>(*loadError_) : core::Expected<void>();
    }
    if (nibName_.empty()) {
        installView(loadView());
        viewDidLoad();
        return {};
    }
    auto nib = Nib::named(nibName_);
    auto view = nib ? (*nib)->instantiateView(this) : core::Expected<ViewPtr>(nib.error());
    if (!view) {
        loadError_ = view.error();
        core::log("Could not load the view of " + className() + ": " +
                  view.error().localizedDescription());
        installView(View::create(Screen::main().bounds()));
        return *loadError_;
    }
    installView(*view);
    viewDidLoad();
    return {};
}

void ViewController::installView(std::shared_ptr<View> view) {
    view_ = std::move(view);
    std::weak_ptr<ViewController> weak =
        std::static_pointer_cast<ViewController>(weak_from_this().lock());
    memoryWarningToken_ = core::NotificationCenter::defaultCenter()->addObserver(
        std::string(ApplicationDidReceiveMemoryWarningNotification),
        [weak](const core::Notification&) {
            if (auto controller = weak.lock()) {
                controller->didReceiveMemoryWarning();
            }
        });
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
    for (auto parent = parentViewController(); parent; parent = parent->parentViewController()) {
        if (auto navigation = std::dynamic_pointer_cast<NavigationController>(parent)) {
            return navigation;
        }
    }
    return nullptr;
}

std::shared_ptr<NavigationItem> ViewController::navigationItem() {
    if (!navigationItem_) {
        navigationItem_ = NavigationItem::create();
    }
    return navigationItem_;
}

bool ViewController::isOnScreen() const {
    return appearance_ == AppearanceState::Appearing || appearance_ == AppearanceState::Appeared;
}

void ViewController::beginAppearanceTransition(Appearing appearing, Animated animated) {
    auto protectedThis = shared_from_this();
    appearanceAnimated_ = animated;
    if (appearing == Appearing::Yes && !isOnScreen()) {
        appearance_ = AppearanceState::Appearing;
        viewWillAppear(animated);
    } else if (appearing == Appearing::No && isOnScreen()) {
        appearance_ = AppearanceState::Disappearing;
        viewWillDisappear(animated);
    }
}

void ViewController::endAppearanceTransition() {
    auto protectedThis = shared_from_this();
    if (appearance_ == AppearanceState::Appearing) {
        appearance_ = AppearanceState::Appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == AppearanceState::Disappearing) {
        appearance_ = AppearanceState::Disappeared;
        viewDidDisappear(appearanceAnimated_);
    }
}

void ViewController::presentViewController(std::shared_ptr<ViewController> controller,
                                           Animated animated, std::function<void()> completion) {
    assertMainThread();
    if (!controller || presented_ || controller->presentingViewController()) {
        core::log("Cannot present " + (controller ? controller->className() : "nothing") +
                  " over " + className() + ": a presentation is already in place");
        return;
    }
    auto window = view()->window();
    if (!window) {
        window = Application::shared()->keyWindow();
    }
    if (!window) {
        core::log("Cannot present " + controller->className() + ": there is no window");
        return;
    }
    presented_ = controller;
    controller->presenting_ = std::static_pointer_cast<ViewController>(shared_from_this());
    auto presentedView = controller->view();
    presentedView->setFrame(window->bounds());
    window->addSubview(presentedView);
    beginAppearanceTransition(Appearing::No, animated);
    controller->beginAppearanceTransition(Appearing::Yes, animated);
    if (animated == Animated::No) {
        finishPresenting(controller, std::move(completion));
        return;
    }
    std::weak_ptr<ViewController> weak =
        std::static_pointer_cast<ViewController>(shared_from_this());
    presentationTransition_ = ViewTransition::start(
        TransitionKind::CoverVertical, view(), presentedView, ViewTransition::kModalDuration,
        [weak, controller, completion = std::move(completion)]() mutable {
            if (auto self = weak.lock()) {
                self->finishPresenting(controller, std::move(completion));
            }
        });
}

void ViewController::finishPresenting(const std::shared_ptr<ViewController>& controller,
                                      std::function<void()> completion) {
    presentationTransition_.reset();
    endAppearanceTransition();
    controller->endAppearanceTransition();
    if (completion) {
        completion();
    }
}

void ViewController::dismissViewControllerAnimated(Animated animated,
                                                   std::function<void()> completion) {
    assertMainThread();
    if (!presented_) {
        if (auto presenter = presentingViewController()) {
            presenter->dismissViewControllerAnimated(animated, std::move(completion));
        }
        return;
    }
    if (dismissing_) {
        return;
    }
    if (presentationTransition_) {
        presentationTransition_->finish();
    }
    dismissing_ = true;
    auto protectedThis = shared_from_this();
    presented_->beginAppearanceTransition(Appearing::No, animated);
    beginAppearanceTransition(Appearing::Yes, animated);
    if (animated == Animated::No) {
        finishDismissing(std::move(completion));
        return;
    }
    std::weak_ptr<ViewController> weak =
        std::static_pointer_cast<ViewController>(shared_from_this());
    presentationTransition_ = ViewTransition::start(
        TransitionKind::Uncover, presented_->view(), view(), ViewTransition::kModalDuration,
        [weak, completion = std::move(completion)]() mutable {
            if (auto self = weak.lock()) {
                self->finishDismissing(std::move(completion));
            }
        });
}

void ViewController::finishDismissing(std::function<void()> completion) {
    presentationTransition_.reset();
    auto controller = std::move(presented_);
    presented_.reset();
    dismissing_ = false;
    controller->view()->removeFromSuperview();
    controller->presenting_.reset();
    controller->endAppearanceTransition();
    endAppearanceTransition();
    if (completion) {
        completion();
    }
}

}  // namespace ui
