#include "shell/HeadlessDriver.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Prompt.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewTransition.h"

namespace shell {

namespace {

constexpr std::string_view kErrorDomain = "HeadlessDriverErrorDomain";

// Shown views in front-to-back order of a depth-first walk (parents before children).
void collectShown(const ui::ViewPtr& view, std::vector<ui::ViewPtr>& out) {
    if (!view || view->isHidden() || view->alpha() <= 0.01) {
        return;
    }
    out.push_back(view);
    for (const auto& child : view->subviews()) {
        collectShown(child, out);
    }
}

std::vector<ui::ViewPtr> shownViews(const ui::WindowPtr& window) {
    std::vector<ui::ViewPtr> views;
    if (window && !window->isHidden()) {
        collectShown(window, views);
    }
    return views;
}

std::string shownText(const ui::View& view) {
    if (auto* button = dynamic_cast<const ui::Button*>(&view)) {
        return button->currentTitle();
    }
    if (auto* label = dynamic_cast<const ui::Label*>(&view)) {
        return label->text();
    }
    return {};
}

std::vector<std::pair<ui::ViewPtr, ui::BarButtonItemPtr>> shownItems(const ui::WindowPtr& window) {
    std::vector<std::pair<ui::ViewPtr, ui::BarButtonItemPtr>> items;
    for (const auto& view : shownViews(window)) {
        std::vector<ui::BarButtonItemPtr> barItems;
        if (auto toolbar = std::dynamic_pointer_cast<ui::Toolbar>(view)) {
            barItems = toolbar->items();
        } else if (auto bar = std::dynamic_pointer_cast<ui::NavigationBar>(view)) {
            barItems = bar->items();
        }
        for (auto& item : barItems) {
            items.emplace_back(view, item);
        }
    }
    return items;
}

std::string viewLabel(const ui::View& view) {
    std::string label = view.className();
    if (!view.identifier().empty()) {
        label += " " + view.identifier();
    }
    return label;
}

void dumpView(const ui::ViewPtr& view, int depth, std::string& out) {
    if (!view || view->isHidden() || view->alpha() <= 0.01) {
        return;
    }
    std::string state = view->stateDescription();
    bool plain = state.empty() && view->identifier().empty() && view->className() == "View";
    if (!plain) {
        out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + viewLabel(*view);
        out += state.empty() ? "\n" : " " + state + "\n";
    }
    for (const auto& child : view->subviews()) {
        dumpView(child, plain ? depth : depth + 1, out);
    }
}

std::string describeController(const ui::ViewControllerPtr& controller) {
    auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(controller);
    if (!navigation) {
        return controller->className();
    }
    std::string text = navigation->className() + "[";
    for (std::size_t i = 0; i < navigation->viewControllers().size(); ++i) {
        text += (i ? " > " : "") + navigation->viewControllers()[i]->className();
    }
    return text + "]";
}

// "NavigationController[ViewController > MainView] presents ImagePickerController[...]"
std::string controllerPath(const ui::WindowPtr& window) {
    std::string path;
    for (auto controller = window->rootViewController(); controller;) {
        path += (path.empty() ? "" : " presents ") + describeController(controller);
        auto next = controller->presentedViewController();
        auto inner = controller->childViewControllerForDisplay();
        if (!next && inner) {
            next = inner->presentedViewController();
        }
        controller = next;
    }
    return path;
}

}  // namespace

std::shared_ptr<ui::Window> HeadlessDriver::window() const {
    return ui::Application::shared()->keyWindow();
}

std::shared_ptr<ui::ViewController> HeadlessDriver::visibleViewController() const {
    auto key = window();
    return key ? key->visibleViewController() : nullptr;
}

std::shared_ptr<ui::View> HeadlessDriver::find(std::string_view name) const {
    auto views = shownViews(window());
    // Later views in the walk are in front: search from the front.
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        if ((*it)->identifier() == name) {
            return *it;
        }
    }
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        if (!shownText(**it).empty() && shownText(**it) == name) {
            return *it;
        }
    }
    return nullptr;
}

ui::BarButtonItemPtr HeadlessDriver::findItem(std::string_view name) const {
    auto items = shownItems(window());
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->second->identifier() == name) {
            return it->second;
        }
    }
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->second->title() == name) {
            return it->second;
        }
    }
    return nullptr;
}

core::Error HeadlessDriver::refusal(const std::string& message) const {
    core::Error error(std::string(kErrorDomain), 1);
    error.set(core::LocalizedDescriptionKey, message + "\n--- screen ---\n" + dump());
    return error;
}

core::Expected<void> HeadlessDriver::checkInteractive() const {
    if (!window()) {
        return refusal("there is no key window");
    }
    if (auto prompt = ui::Prompt::visiblePrompt()) {
        return refusal("a prompt is up: " + prompt->dumpLine());
    }
    if (ui::ViewTransition::isAnyRunning()) {
        return refusal("a transition is still running; advance the clock or pump first");
    }
    return {};
}

core::Expected<void> HeadlessDriver::checkReachable(const ui::View& view) const {
    if (!view.isVisibleOnScreen()) {
        return refusal(viewLabel(view) + " is not on screen");
    }
    auto key = window();
    ui::Rect frame = view.frameInWindow();
    auto hit = key->hitTest(ui::Point{frame.midX(), frame.midY()});
    if (!hit || (hit.get() != &view && !hit->isDescendantOf(view))) {
        return refusal(viewLabel(view) + " is covered by " + (hit ? viewLabel(*hit) : "nothing") +
                       " or does not take touches");
    }
    return {};
}

core::Expected<void> HeadlessDriver::tap(std::string_view name) {
    if (auto ready = checkInteractive(); !ready) {
        return ready;
    }
    if (auto view = find(name)) {
        if (auto reachable = checkReachable(*view); !reachable) {
            return reachable;
        }
        auto control = std::dynamic_pointer_cast<ui::Control>(view);
        if (!control) {
            return refusal(viewLabel(*view) + " is not a control");
        }
        if (!control->isEnabled()) {
            return refusal(viewLabel(*view) + " is disabled");
        }
        if (auto field = std::dynamic_pointer_cast<ui::TextField>(control)) {
            field->becomeFirstResponder();
            return {};
        }
        control->sendActions(ui::ControlEvent::TouchDown);
        control->sendActions(ui::ControlEvent::TouchUpInside);
        return {};
    }
    for (const auto& [bar, item] : shownItems(window())) {
        if (item->identifier() != name && item->title() != name) {
            continue;
        }
        if (auto reachable = checkReachable(*bar); !reachable) {
            return reachable;
        }
        if (!item->isEnabled()) {
            return refusal("bar button item " + std::string(name) + " is disabled");
        }
        item->sendAction();
        return {};
    }
    return refusal("nothing named \"" + std::string(name) + "\" is on screen");
}

core::Expected<void> HeadlessDriver::type(std::string_view field, std::string_view text) {
    auto target = find<ui::TextField>(field);
    if (!target) {
        return refusal("no text field \"" + std::string(field) + "\" is on screen");
    }
    if (auto focused = tap(field); !focused) {
        return focused;
    }
    target->setText({});
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 1;
        while (i + length < text.size() &&
               (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
            ++length;
        }
        target->insertText(std::string(text.substr(i, length)));
        i += length;
    }
    return {};
}

core::Expected<void> HeadlessDriver::pressReturn(std::string_view field) {
    auto target = find<ui::TextField>(field);
    if (!target || !target->isFirstResponder()) {
        return refusal("text field \"" + std::string(field) + "\" does not have the keyboard");
    }
    target->pressReturn();
    return {};
}

core::Expected<void> HeadlessDriver::answer(std::string_view title) {
    auto prompt = ui::Prompt::visiblePrompt();
    if (!prompt) {
        return refusal("no prompt is up to answer \"" + std::string(title) + "\"");
    }
    auto index = prompt->indexOfButton(std::string(title));
    if (!index) {
        return refusal("the prompt that is up has no button \"" + std::string(title) + "\"");
    }
    prompt->clickButtonAtIndex(*index);
    return {};
}

core::Expected<void> HeadlessDriver::dismissPrompt() {
    auto prompt = ui::Prompt::visiblePrompt();
    if (!prompt) {
        return refusal("no prompt is up to dismiss");
    }
    prompt->dismissWithoutButton();
    return {};
}

core::Expected<void> HeadlessDriver::selectItem(std::string_view collection, int item,
                                                int section) {
    if (auto ready = checkInteractive(); !ready) {
        return ready;
    }
    auto view = find<ui::CollectionView>(collection);
    if (!view) {
        return refusal("no collection view \"" + std::string(collection) + "\" is on screen");
    }
    ui::IndexPath indexPath{section, item};
    auto cell = view->cellForItem(indexPath);
    if (!cell) {
        return refusal("item " + indexPath.description() + " of " + std::string(collection) +
                       " is not on screen");
    }
    if (auto reachable = checkReachable(*cell); !reachable) {
        return reachable;
    }
    view->touchItem(indexPath);
    return {};
}

core::Expected<void> HeadlessDriver::pickFromLibrary(std::size_t index) {
    if (auto ready = checkInteractive(); !ready) {
        return ready;
    }
    auto front = visibleViewController();
    auto picker = std::dynamic_pointer_cast<ui::ImagePickerController>(front);
    if (!picker && front) {
        picker =
            std::dynamic_pointer_cast<ui::ImagePickerController>(front->parentViewController());
    }
    if (!picker || picker->sourceType() == ui::ImagePickerSourceType::Camera) {
        return refusal("no photo library picker is on screen");
    }
    if (auto picked = picker->pickLibraryItem(index); !picked) {
        return refusal(picked.error().localizedDescription());
    }
    return {};
}

core::Expected<void> HeadlessDriver::advance(double seconds) {
    if (!clock_) {
        return refusal("advance() needs the driver to be made with a virtual clock");
    }
    clock_->advance(seconds);
    pumpPending();
    return {};
}

bool HeadlessDriver::pumpUntil(const std::function<bool()>& done, double realTimeout) {
    auto loop = core::RunLoop::current();
    auto deadline = core::Clock::realNow() + core::Clock::Duration(realTimeout);
    for (;;) {
        // Look again after a short slice: another thread may make `done` true without
        // posting anything that would wake this loop.
        auto slice = std::min(deadline, core::Clock::realNow() + core::Clock::Duration(0.002));
        if (loop->runUntil(done, slice, core::RunLoop::DeadlineClock::Real)) {
            return true;
        }
        if (core::Clock::realNow() >= deadline) {
            return false;
        }
    }
}

void HeadlessDriver::pumpPending() {
    auto loop = core::RunLoop::current();
    // Bounded, so a task that posts itself again cannot keep us here.
    for (int pass = 0; pass < 10000; ++pass) {
        if (loop->runInMode(core::RunLoop::kDefaultMode, core::Clock::TimePoint{}) !=
            core::RunLoop::RunResult::Handled) {
            return;
        }
    }
}

std::string HeadlessDriver::dump() const {
    auto key = window();
    if (!key) {
        return "(no key window)\n";
    }
    std::string out = "controllers: " + controllerPath(key) + "\n";
    auto visible = key->visibleViewController();
    out += "in front: " + (visible ? visible->className() : std::string("none")) + "\n";
    for (const auto& child : key->subviews()) {
        dumpView(child, 1, out);
    }
    if (auto prompt = ui::Prompt::visiblePrompt()) {
        out += prompt->dumpLine() + "\n";
        if (ui::Prompt::queuedCount() > 1) {
            out += std::to_string(ui::Prompt::queuedCount() - 1) + " more prompt(s) waiting\n";
        }
    }
    for (const auto& transition : ui::ViewTransition::running()) {
        out += transition->description() + "\n";
    }
    if (ui::Application::shared()->isNetworkActivityIndicatorVisible()) {
        out += "network activity indicator on\n";
    }
    return out;
}

}  // namespace shell
