#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Expected.h"
#include "platform/core/VirtualClock.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace shell {

// Works the app the way a user would, without drawing anything: it reads the view tree of
// the key window, finds views and bar button items by outlet name (or identifier, or title),
// taps them only when a user could (shown, enabled, not covered, no prompt up, no transition
// running), types, answers prompts and pumps the main run loop. Every refusal is an error
// whose message ends with the dump of the screen. Main thread.
class HeadlessDriver {
public:
    // With a virtual clock, advance() moves it; without one, advance() is an error.
    explicit HeadlessDriver(core::VirtualClock* clock = nullptr) : clock_(clock) {}

    std::shared_ptr<ui::Window> window() const;
    std::shared_ptr<ui::ViewController> visibleViewController() const;

    // A view on screen whose identifier (its outlet name) is `name`; failing that, a button
    // or label showing `name` as its title or text.
    std::shared_ptr<ui::View> find(std::string_view name) const;
    template <class T>
    std::shared_ptr<T> find(std::string_view name) const {
        return std::dynamic_pointer_cast<T>(find(name));
    }
    // A bar button item on a shown toolbar or navigation bar, by identifier or title.
    ui::BarButtonItemPtr findItem(std::string_view name) const;

    // Taps a button, a bar button item, or a text field (which then takes the keyboard).
    core::Expected<void> tap(std::string_view name);
    // Focuses the field, replaces its text by typing `text`, one character at a time.
    core::Expected<void> type(std::string_view field, std::string_view text);
    core::Expected<void> pressReturn(std::string_view field);
    // Taps the button titled `title` of the prompt that is up.
    core::Expected<void> answer(std::string_view title);
    // Dismisses the prompt that is up without a button.
    core::Expected<void> dismissPrompt();
    // Taps item `item` of a shown collection view.
    core::Expected<void> selectItem(std::string_view collection, int item, int section = 0);
    // Taps library item `index` in the image picker that is on screen.
    core::Expected<void> pickFromLibrary(std::size_t index);

    // Moves the virtual clock on and runs what became due.
    core::Expected<void> advance(double seconds);
    // Runs the main loop until `done` holds; false when `realTimeout` seconds pass first.
    bool pumpUntil(const std::function<bool()>& done, double realTimeout = 10.0);
    // Runs what is ready now: posted tasks and due timers.
    void pumpPending();

    // The visible screen as text: the controller in front, the shown views with their state,
    // the prompt that is up, running transitions and the activity indicator.
    std::string dump() const;

private:
    core::Error refusal(const std::string& message) const;
    core::Expected<void> checkInteractive() const;
    core::Expected<void> checkReachable(const ui::View& view) const;

    core::VirtualClock* clock_;
};

}  // namespace shell
