#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Error.h"
#include "platform/core/Expected.h"
#include "platform/core/ObserverToken.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

namespace ui {

class NavigationController;
class ViewTransition;

enum class Appearing { No, Yes };

// Runs one screen: owns its view, loaded on first use from the interface description of the
// controller's nib name, and hears the screen's life cycle. Create controllers through a
// shared_ptr (their actions hold them weakly). Main thread.
class ViewController : public Responder {
public:
    // initWithNibName:bundle: — an empty name makes loadView() build the view instead.
    static std::shared_ptr<ViewController> create(std::string nibName = {});
    ~ViewController() override;

    const std::string& nibName() const { return nibName_; }

    // The view, loading it on first access. A description that fails to load leaves an
    // empty view, logs the error and keeps it in viewLoadError(); viewDidLoad() then does
    // not run, since the outlets it would use are missing.
    std::shared_ptr<View> view();
    core::Expected<void> loadViewIfNeeded();
    bool isViewLoaded() const { return view_ != nullptr; }
    const std::optional<core::Error>& viewLoadError() const { return loadError_; }

    // Life cycle, called by the platform; overrides call the base first.
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(Animated) {}
    virtual void viewDidAppear(Animated) {}
    virtual void viewWillDisappear(Animated) {}
    virtual void viewDidDisappear(Animated) {}
    virtual void didReceiveMemoryWarning() {}

    std::shared_ptr<NavigationController> navigationController() const;
    std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
    std::shared_ptr<NavigationItem> navigationItem();

    // Shows `controller` over this screen, filling the window; the completion runs once it is
    // up. A controller that already presents one ignores the request.
    void presentViewController(std::shared_ptr<ViewController> controller, Animated animated,
                               std::function<void()> completion = nullptr);
    void presentModalViewController(std::shared_ptr<ViewController> controller, Animated animated) {
        presentViewController(std::move(controller), animated);
    }
    // Removes what this controller presents — or, called on the presented controller, removes
    // it from its presenter. The completion runs once the removal is done.
    void dismissViewControllerAnimated(Animated animated,
                                       std::function<void()> completion = nullptr);
    std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }

    // Appearance calls made by containers and windows: begin sends viewWill(Dis)Appear, end
    // the matching viewDid(Dis)Appear. Repeated calls in the same direction are ignored.
    void beginAppearanceTransition(Appearing appearing, Animated animated);
    void endAppearanceTransition();
    // Between viewWillAppear and viewWillDisappear.
    bool isOnScreen() const;

    // The controller that shows the content of this one, for containers (their top).
    virtual std::shared_ptr<ViewController> childViewControllerForDisplay() const {
        return nullptr;
    }

protected:
    explicit ViewController(std::string nibName);
    // Builds the view when there is no nib name: an empty view as large as the screen.
    virtual std::shared_ptr<View> loadView();
    void setParentViewController(const std::shared_ptr<ViewController>& parent) {
        parent_ = parent;
    }

private:
    friend class NavigationController;
    enum class AppearanceState { Disappeared, Appearing, Appeared, Disappearing };

    void installView(std::shared_ptr<View> view);
    void finishPresenting(const std::shared_ptr<ViewController>& controller,
                          std::function<void()> completion);
    void finishDismissing(std::function<void()> completion);

    std::string nibName_;
    std::shared_ptr<View> view_;
    std::optional<core::Error> loadError_;
    std::weak_ptr<ViewController> parent_;
    std::shared_ptr<NavigationItem> navigationItem_;
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    std::shared_ptr<ViewTransition> presentationTransition_;
    bool dismissing_ = false;
    AppearanceState appearance_ = AppearanceState::Disappeared;
    Animated appearanceAnimated_ = Animated::No;
    core::ObserverToken memoryWarningToken_;
};

using ViewControllerPtr = std::shared_ptr<ViewController>;

}  // namespace ui
