#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

namespace ui {

// What alerts and action sheets share: a title, numbered buttons, and one place in the
// queue of prompts. One prompt is up at a time; one shown while another is up waits its turn
// and comes up when the one before it goes, so none is lost. Main thread.
//
// Buttons are numbered from 0: the destructive button (sheets only), the other buttons in
// the order given, then the cancel button last.
class Prompt : public Responder {
public:
    ~Prompt() override;

    const std::string& title() const { return title_; }
    int numberOfButtons() const { return static_cast<int>(buttons_.size()); }
    // The title of button `index`, empty for an index out of range.
    std::string buttonTitleAtIndex(int index) const;
    // -1 when there is none.
    int cancelButtonIndex() const { return cancelIndex_; }
    int firstOtherButtonIndex() const { return firstOtherIndex_; }
    // The index of the button titled `title`, if any.
    std::optional<int> indexOfButton(const std::string& title) const;

    // Queues the prompt; it is up at once when no other is.
    void show();
    bool isVisible() const;
    bool isQueued() const;

    // A tap on button `index`: clicked, will dismiss, gone, did dismiss — and the next
    // queued prompt comes up. Indices out of range are ignored.
    void clickButtonAtIndex(int index);
    // The user dismissed the prompt without a button: reported as the cancel button's index.
    void dismissWithoutButton() { clickButtonAtIndex(cancelIndex_); }
    // Takes the prompt away as if `index` had been chosen, without the "clicked" call.
    void dismissWithClickedButtonIndex(int index, Animated animated = Animated::No);

    // The prompt that is up, if any, and those waiting behind it.
    static std::shared_ptr<Prompt> visiblePrompt();
    static std::size_t queuedCount();
    // Drops every prompt without calling anyone, so tests start clean.
    static void removeAllForTesting();

    virtual std::string kindName() const = 0;
    // "Alert "Error": "Could not reach server" [Ok]" for dumps.
    virtual std::string dumpLine() const;

protected:
    Prompt(std::string title, std::optional<std::string> destructive,
           std::vector<std::string> others, std::optional<std::string> cancel);

    // " [0: Yes] [1: No]"
    std::string buttonsDescription() const;

    virtual void notifyClicked(int index) = 0;
    virtual void notifyWillDismiss(int index) = 0;
    virtual void notifyDidDismiss(int index) = 0;

private:
    void finish(int index, bool clicked);

    std::string title_;
    std::vector<std::string> buttons_;
    int cancelIndex_ = -1;
    int firstOtherIndex_ = -1;
    bool finishing_ = false;
};

using PromptPtr = std::shared_ptr<Prompt>;

}  // namespace ui
