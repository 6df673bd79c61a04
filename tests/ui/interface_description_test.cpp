#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Nib.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Resources.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewClassRegistry.h"
#include "platform/ui/ViewController.h"

namespace {

using ::testing::HasSubstr;

class LoginForm : public ui::ViewController {
public:
    static std::shared_ptr<LoginForm> create(std::string nibName) {
        return std::shared_ptr<LoginForm>(new LoginForm(std::move(nibName)));
    }

    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<LoginForm>;
        static const Table table{
            Table::outlet("heading", &LoginForm::heading),
            Table::outlet("username", &LoginForm::username),
            Table::outlet("password", &LoginForm::password),
            Table::outlet("loginButton", &LoginForm::loginButton),
            Table::outlet("spinner", &LoginForm::spinner),
            Table::outlet("progress", &LoginForm::progress),
            Table::outlet("toolbar", &LoginForm::toolbar),
            Table::outlet("addItem", &LoginForm::addItem),
            Table::action("loginPressed", &LoginForm::loginPressed),
            Table::action("addPressed", &LoginForm::addPressed),
            Table::action("donePressed", &LoginForm::donePressed),
        };
        return &table;
    }

    void viewDidLoad() override {
        ViewController::viewDidLoad();
        ++didLoadCount;
    }

    void loginPressed() { ++logins; }
    void addPressed(const std::shared_ptr<core::Object>& sender) { lastSender = sender; }
    void donePressed() { ++dones; }

    std::shared_ptr<ui::Label> heading;
    std::shared_ptr<ui::TextField> username;
    std::shared_ptr<ui::TextField> password;
    std::shared_ptr<ui::Button> loginButton;
    std::shared_ptr<ui::ActivityIndicatorView> spinner;
    std::shared_ptr<ui::ProgressView> progress;
    std::shared_ptr<ui::Toolbar> toolbar;
    std::shared_ptr<ui::BarButtonItem> addItem;
    int didLoadCount = 0;
    int logins = 0;
    int dones = 0;
    std::shared_ptr<core::Object> lastSender;

private:
    using ui::ViewController::ViewController;
};

class PhotoTile : public ui::CollectionViewCell {
public:
    static std::shared_ptr<PhotoTile> create(ui::Rect frame) {
        return std::shared_ptr<PhotoTile>(new PhotoTile(frame));
    }
    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<PhotoTile>;
        static const Table table{Table::outlet("imageView", &PhotoTile::imageView)};
        return &table;
    }
    std::shared_ptr<ui::ImageView> imageView;

private:
    using ui::CollectionViewCell::CollectionViewCell;
};

class InterfaceDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Resources::setDirectory(std::filesystem::path(__FILE__).parent_path() / "data");
    }

    static std::string loadError(const std::string& name) {
        auto form = LoginForm::create(name);
        auto loaded = form->loadViewIfNeeded();
        EXPECT_FALSE(loaded) << name << " loaded although it is broken";
        EXPECT_EQ(form->didLoadCount, 0) << "viewDidLoad ran without its outlets";
        EXPECT_TRUE(form->view()) << "a failed load still leaves a view to show";
        return loaded ? std::string() : loaded.error().localizedDescription();
    }
};

TEST_F(InterfaceDescriptionTest, ViewLoadsOnFirstAccessWithOutletsPropertiesAndActions) {
    auto form = LoginForm::create("LoginForm");
    EXPECT_FALSE(form->isViewLoaded());
    auto view = form->view();
    ASSERT_TRUE(form->loadViewIfNeeded());
    EXPECT_EQ(form->view(), view);
    EXPECT_EQ(form->didLoadCount, 1);

    ASSERT_TRUE(form->username && form->password && form->loginButton && form->spinner);
    EXPECT_EQ(view->frame(), ui::Rect(0, 0, 320, 568));
    EXPECT_EQ(view->backgroundColor(), ui::Color::white());
    EXPECT_EQ(form->heading->text(), "Sign in");
    EXPECT_EQ(form->heading->textAlignment(), ui::TextAlignment::Center);
    EXPECT_EQ(form->username->placeholder(), "User name");
    EXPECT_TRUE(form->password->isSecureTextEntry());
    EXPECT_EQ(form->loginButton->title(), "Log in");
    EXPECT_EQ(form->loginButton->frame(), ui::Rect(20, 200, 280, 44));
    EXPECT_TRUE(form->spinner->isHidden()) << "a stopped spinner hides by default";
    EXPECT_DOUBLE_EQ(form->progress->progress(), 0.25);
    EXPECT_EQ(form->loginButton->identifier(), "loginButton") << "outlet names find views";

    form->loginButton->sendActions(ui::ControlEvent::TouchUpInside);
    form->loginButton->sendActions(ui::ControlEvent::TouchUpInside);
    EXPECT_EQ(form->logins, 2);

    ASSERT_EQ(form->toolbar->items().size(), 3u);
    EXPECT_EQ(form->toolbar->items()[0], form->addItem);
    EXPECT_EQ(form->toolbar->items()[1]->systemItem(), ui::BarButtonSystemItem::FlexibleSpace);
    EXPECT_EQ(form->toolbar->items()[2]->style(), ui::BarButtonItemStyle::Done);
    form->addItem->sendAction();
    EXPECT_EQ(form->lastSender, form->addItem) << "actions with a sender receive the item";
    form->toolbar->items()[2]->sendAction();
    EXPECT_EQ(form->dones, 1);
}

TEST_F(InterfaceDescriptionTest, ActionsDoNotKeepTheirControllerAlive) {
    auto form = LoginForm::create("LoginForm");
    auto view = form->view();
    auto loginButton = form->loginButton;
    std::weak_ptr<LoginForm> weak = form;
    form.reset();
    EXPECT_TRUE(weak.expired()) << "the view tree must hold its controller weakly";
    loginButton->sendActions(ui::ControlEvent::TouchUpInside);  // reaches no one, safely
}

TEST_F(InterfaceDescriptionTest, BrokenDescriptionsNameTheResourceAndTheKey) {
    EXPECT_THAT(loadError("NoSuchScreen"), HasSubstr("\"NoSuchScreen\""));
    EXPECT_THAT(loadError("UnknownClass"),
                HasSubstr("\"UnknownClass\", line 2: unknown class \"Buton\""));
    EXPECT_THAT(loadError("UnknownProperty"), HasSubstr("no property \"titel\""));
    EXPECT_THAT(loadError("UnknownProperty"), HasSubstr("\"UnknownProperty\", line 2"));
    EXPECT_THAT(loadError("UnknownOutlet"), HasSubstr("LoginForm has no outlet \"signInButton\""));
    EXPECT_THAT(loadError("UnknownAction"), HasSubstr("LoginForm has no action \"signInPressed\""));
    EXPECT_THAT(loadError("WrongOutletClass"), HasSubstr("outlet \"loginButton\""));
    EXPECT_THAT(loadError("BadFrame"), HasSubstr("property \"frame\" expects 4 numbers"));
}

TEST_F(InterfaceDescriptionTest, SyntaxErrorsGiveTheLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"View\n  Label text=\"open", "line 2: a quoted text is not closed"},
        {"View\nView", "line 2: only one top-level element"},
        {"View\n\tLabel", "line 2: indent with spaces"},
        {"# only a comment\n", "empty"},
        {"View frame", "line 1: expected key=value"},
        {"View hidden=yes hidden=no", "given twice"},
        {"label text=x", "expected a class name"},
    };
    for (const auto& c : cases) {
        auto nib = ui::Nib::fromText("Broken", c.text);
        ASSERT_FALSE(nib) << c.text;
        EXPECT_THAT(nib.error().localizedDescription(), HasSubstr(c.message)) << c.text;
        EXPECT_THAT(nib.error().localizedDescription(), HasSubstr("\"Broken\"")) << c.text;
    }
}

TEST_F(InterfaceDescriptionTest, NestingFollowsIndentation) {
    auto nib = ui::Nib::fromText("Nested",
                                 "View id=root\n"
                                 "  View id=a\n"
                                 "      Label id=a1 text=\"x \\\"y\\\"\"\n"
                                 "      Label id=a2\n"
                                 "  View id=b\n");
    ASSERT_TRUE(nib);
    auto root = (*nib)->instantiateView();
    ASSERT_TRUE(root);
    ASSERT_EQ((*root)->subviews().size(), 2u);
    EXPECT_EQ((*root)->subviews()[0]->subviews().size(), 2u);
    EXPECT_EQ((*root)->subviews()[1]->identifier(), "b");
    auto label = std::dynamic_pointer_cast<ui::Label>((*root)->viewWithIdentifier("a1"));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "x \"y\"");
}

TEST_F(InterfaceDescriptionTest, CellDescriptionsConnectToTheCellItself) {
    ui::ViewClassRegistry::add<PhotoTile>("PhotoTile");
    auto nib = ui::Nib::named("PhotoTile");
    ASSERT_TRUE(nib);
    auto collection = ui::CollectionView::create(ui::Rect(0, 0, 320, 480));
    collection->registerNib(*nib, "acell");
    auto first =
        std::dynamic_pointer_cast<PhotoTile>(collection->dequeueReusableCell("acell", {0, 0}));
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->imageView);
    EXPECT_EQ(first->imageView->contentMode(), ui::ContentMode::ScaleAspectFill);
    EXPECT_EQ(first->reuseIdentifier(), "acell");
    auto second = collection->dequeueReusableCell("acell", {0, 1});
    EXPECT_NE(first, second) << "each new cell is built afresh";
}

}  // namespace
