#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"

namespace {

using ::testing::ElementsAre;

// Records every delegate call as "<title>:<call>:<index>".
class Recorder : public ui::ActionSheetDelegate, public ui::AlertViewDelegate {
public:
    void clickedButtonAtIndex(ui::ActionSheet& sheet, int index) override {
        add(sheet, "clicked", index);
        if (onSheetClick) {
            onSheetClick(index);
        }
    }
    void didDismissWithButtonIndex(ui::ActionSheet& sheet, int index) override {
        add(sheet, "dismissed", index);
    }
    void clickedButtonAtIndex(ui::AlertView& alert, int index) override {
        add(alert, "clicked", index);
    }
    void didDismissWithButtonIndex(ui::AlertView& alert, int index) override {
        add(alert, "dismissed", index);
    }

    std::vector<std::string> calls;
    std::function<void(int)> onSheetClick;

private:
    void add(ui::Prompt& prompt, const char* call, int index) {
        calls.push_back(prompt.title() + ":" + call + ":" + std::to_string(index));
    }
};

class PromptTest : public ::testing::Test {
protected:
    void SetUp() override { ui::Prompt::removeAllForTesting(); }
    void TearDown() override { ui::Prompt::removeAllForTesting(); }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(PromptTest, SheetButtonsAreOthersInOrderThenCancel) {
    auto sheet = ui::ActionSheet::create("Add Photos", recorder, "Cancel", std::nullopt,
                                         {"From Camera", "From Photo Gallery"});
    EXPECT_EQ(sheet->numberOfButtons(), 3);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "From Camera");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "From Photo Gallery");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "Cancel");
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
    EXPECT_EQ(sheet->destructiveButtonIndex(), -1);

    auto removal =
        ui::ActionSheet::create("Remove this photo?", recorder, "No", std::nullopt, {"Yes"});
    EXPECT_EQ(removal->indexOfButton("Yes"), 0);
    EXPECT_EQ(removal->cancelButtonIndex(), 1);

    auto destructive = ui::ActionSheet::create("Photo", recorder, "Cancel", "Delete", {"Share"});
    EXPECT_EQ(destructive->buttonTitleAtIndex(0), "Delete");
    EXPECT_EQ(destructive->firstOtherButtonIndex(), 1);
    EXPECT_EQ(destructive->cancelButtonIndex(), 2);
}

TEST_F(PromptTest, ADismissalWithoutAButtonReportsTheCancelIndex) {
    auto sheet = ui::ActionSheet::create("Location", recorder, "Cancel", std::nullopt,
                                         {"Before Folder", "After Folder"});
    sheet->setActionSheetStyle(ui::ActionSheetStyle::BlackOpaque);
    sheet->showInView(nullptr);
    ASSERT_TRUE(sheet->isVisible());
    sheet->dismissWithoutButton();
    EXPECT_THAT(recorder->calls, ElementsAre("Location:clicked:2", "Location:dismissed:2"));
    EXPECT_FALSE(sheet->isVisible());
    sheet->clickButtonAtIndex(0);
    EXPECT_EQ(recorder->calls.size(), 2u) << "a prompt that is gone answers nothing more";
}

TEST_F(PromptTest, AlertsThatArriveWhileOneIsUpWaitTheirTurn) {
    auto first = ui::AlertView::create("first", "one", recorder, "OK");
    auto second = ui::AlertView::create("second", "two", recorder, "OK");
    auto third = ui::AlertView::create("third", "three", recorder, "OK", {"Retry"});
    first->show();
    second->show();
    third->show();
    second->show();  // showing a queued prompt again does not queue it twice
    EXPECT_EQ(ui::Prompt::queuedCount(), 3u);
    EXPECT_EQ(ui::Prompt::visiblePrompt(), first);

    first->clickButtonAtIndex(first->cancelButtonIndex());
    EXPECT_EQ(ui::Prompt::visiblePrompt(), second);
    second->clickButtonAtIndex(0);
    EXPECT_EQ(ui::Prompt::visiblePrompt(), third);
    EXPECT_EQ(third->cancelButtonIndex(), 1) << "cancel comes after the other buttons";
    third->clickButtonAtIndex(third->indexOfButton("Retry").value());
    EXPECT_EQ(ui::Prompt::visiblePrompt(), nullptr);
    EXPECT_THAT(recorder->calls,
                ElementsAre("first:clicked:0", "first:dismissed:0", "second:clicked:0",
                            "second:dismissed:0", "third:clicked:0", "third:dismissed:0"));
}

TEST_F(PromptTest, APromptShownFromAClickComesUpAfterTheAnsweredOne) {
    auto sheet =
        ui::ActionSheet::create("Add Photos", recorder, "Cancel", std::nullopt, {"From Camera"});
    auto error = ui::AlertView::create("Error", "Could not reach server", {}, "Ok");
    recorder->onSheetClick = [&](int) {
        error->show();
        EXPECT_TRUE(sheet->isVisible()) << "the answered sheet is still up during its click call";
    };
    sheet->showInView(nullptr);
    sheet->clickButtonAtIndex(0);
    EXPECT_EQ(ui::Prompt::visiblePrompt(), error);
    EXPECT_EQ(error->dumpLine(), "Alert \"Error\": \"Could not reach server\" [0: Ok]");
}

TEST_F(PromptTest, AnAlertWithoutDelegateIsKeptUntilAnswered) {
    std::weak_ptr<ui::AlertView> weak;
    {
        auto alert = ui::AlertView::create("Error", "Could not contact server", {}, "OK");
        alert->show();
        weak = alert;
    }
    ASSERT_FALSE(weak.expired()) << "the queue holds a shown alert";
    weak.lock()->clickButtonAtIndex(0);
    EXPECT_TRUE(weak.expired());
}

}  // namespace
