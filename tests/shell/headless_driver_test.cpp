#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Resources.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewTransition.h"
#include "shell/HeadlessDriver.h"

namespace {

using ::testing::HasSubstr;

class SignIn : public ui::ViewController {
public:
    static std::shared_ptr<SignIn> create() { return std::shared_ptr<SignIn>(new SignIn()); }

    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<SignIn>;
        static const Table table{
            Table::outlet("username", &SignIn::username),
            Table::outlet("loginButton", &SignIn::loginButton),
            // The rest of the form's outlets, which this screen does not use.
            Table::outlet("heading", &SignIn::unused),
            Table::outlet("password", &SignIn::unused),
            Table::outlet("spinner", &SignIn::unused),
            Table::outlet("progress", &SignIn::unused),
            Table::outlet("toolbar", &SignIn::unused),
            Table::outlet("addItem", &SignIn::unused),
            Table::action("loginPressed", &SignIn::loginPressed),
            Table::action("addPressed", &SignIn::addPressed),
            Table::action("donePressed", &SignIn::donePressed),
        };
        return &table;
    }

    void loginPressed() {
        typed = username->text();
        ui::AlertView::create("Error", "Invalid username or password", {}, "Ok")->show();
    }
    void addPressed() { ++adds; }
    void donePressed() {
        navigationController()->pushViewController(ui::ViewController::create(), ui::Animated::Yes);
    }

    std::shared_ptr<ui::TextField> username;
    std::shared_ptr<ui::Button> loginButton;
    std::shared_ptr<core::Object> unused;
    std::string typed;
    int adds = 0;

private:
    SignIn() : ui::ViewController("LoginForm") {}
};

class HeadlessDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        ui::Prompt::removeAllForTesting();
        ui::Resources::setDirectory(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                    "ui" / "data");
        navigation->setNavigationBarHidden(true);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        ui::Prompt::removeAllForTesting();
        ui::Application::shared()->resetForTesting();
    }

    core::VirtualClock clock;
    shell::HeadlessDriver driver{&clock};
    std::shared_ptr<SignIn> screen = SignIn::create();
    std::shared_ptr<ui::NavigationController> navigation = ui::NavigationController::create(screen);
    std::shared_ptr<ui::Window> window = ui::Window::create(ui::Rect(0, 0, 320, 568));
};

TEST_F(HeadlessDriverTest, TypesTapsAndAnswersLikeAUser) {
    ASSERT_TRUE(driver.type("username", "jo"));
    EXPECT_TRUE(screen->username->isFirstResponder());
    ASSERT_TRUE(driver.tap("Log in")) << "a button is found by its title too";
    EXPECT_EQ(screen->typed, "jo");

    auto refused = driver.tap("loginButton");
    ASSERT_FALSE(refused) << "nothing under an alert can be tapped";
    EXPECT_THAT(refused.error().localizedDescription(), HasSubstr("a prompt is up"));
    EXPECT_THAT(refused.error().localizedDescription(),
                HasSubstr("Alert \"Error\": \"Invalid username or password\" [0: Ok]"));
    EXPECT_FALSE(driver.answer("Cancel"));
    ASSERT_TRUE(driver.answer("Ok"));
    EXPECT_FALSE(driver.answer("Ok")) << "the alert is gone";

    ASSERT_TRUE(driver.tap("addItem"));
    EXPECT_EQ(screen->adds, 1);
}

TEST_F(HeadlessDriverTest, RefusesWhatAUserCouldNotTouch) {
    screen->loginButton->setEnabled(false);
    EXPECT_THAT(driver.tap("loginButton").error().localizedDescription(), HasSubstr("disabled"));
    screen->loginButton->setHidden(true);
    EXPECT_THAT(driver.tap("loginButton").error().localizedDescription(),
                HasSubstr("nothing named"));
    screen->loginButton->setHidden(false);
    screen->loginButton->setEnabled(true);
    auto cover = ui::View::create(ui::Rect(0, 0, 320, 568));
    screen->view()->addSubview(cover);
    EXPECT_THAT(driver.tap("loginButton").error().localizedDescription(), HasSubstr("is covered"));
    cover->removeFromSuperview();
    EXPECT_THAT(driver.tap("heading").error().localizedDescription(), HasSubstr("not a control"));
}

TEST_F(HeadlessDriverTest, WaitsForTransitionsOnTheVirtualClock) {
    ASSERT_TRUE(driver.tap("Done"));
    EXPECT_THAT(driver.tap("addItem").error().localizedDescription(), HasSubstr("transition"));
    EXPECT_THAT(driver.dump(), HasSubstr("transition push"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_FALSE(driver.find("addItem")) << "the first screen has left";
    EXPECT_FALSE(shell::HeadlessDriver().advance(1)) << "advancing needs a virtual clock";
}

TEST_F(HeadlessDriverTest, PicksFromTheGalleryAndNothingUnderThePickerCanBeTapped) {
    struct Picks : ui::ImagePickerControllerDelegate {
        void didFinishPickingMediaWithInfo(ui::ImagePickerController&,
                                           const ui::MediaInfo&) override {
            ++count;
        }
        int count = 0;
    };
    auto library =
        std::filesystem::temp_directory_path() / ("proofshot-driver-" + std::to_string(::getpid()));
    std::filesystem::create_directories(library);
    auto png = ui::PNGRepresentation(
        *ui::Image::create(std::make_shared<ui::Bitmap>(8, 6, ui::PixelFormat::RGB8)));
    std::ofstream(library / "one.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()),
               static_cast<std::streamsize>(png->size()));
    ui::PhotoLibrary::setDefaultFolder(library);
    auto picks = std::make_shared<Picks>();
    auto picker = ui::ImagePickerController::create();
    picker->setDelegate(picks);
    picker->setSourceType(ui::ImagePickerSourceType::PhotoLibrary);
    EXPECT_FALSE(driver.pickFromLibrary(0)) << "no picker is up yet";
    navigation->presentViewController(picker, ui::Animated::No);

    EXPECT_FALSE(driver.tap("loginButton")) << "the screen under the picker is out of reach";
    ASSERT_TRUE(driver.pickFromLibrary(0));
    ASSERT_TRUE(driver.selectItem("photoLibrary", 0));
    EXPECT_FALSE(driver.pickFromLibrary(1)) << "the gallery holds one picture";
    EXPECT_EQ(picks->count, 2);
    std::filesystem::remove_all(library);
}

TEST_F(HeadlessDriverTest, DumpShowsControllersViewsAndStateWhichLeavingTheAppKeeps) {
    ASSERT_TRUE(driver.type("username", "ann"));
    ui::Application::shared()->setNetworkActivityIndicatorVisible(true);
    std::string dump = driver.dump();
    EXPECT_THAT(dump, HasSubstr("controllers: NavigationController[SignIn]"));
    EXPECT_THAT(dump, HasSubstr("in front: SignIn"));
    EXPECT_THAT(dump, HasSubstr("TextField username text=\"ann\" editing"));
    EXPECT_THAT(dump, HasSubstr("TextField password text=\"\" placeholder=\"Password\""));
    EXPECT_THAT(dump, HasSubstr("Button loginButton title=\"Log in\""));
    EXPECT_THAT(dump, HasSubstr("ProgressView progress progress=0.25"));
    EXPECT_THAT(dump, HasSubstr("Toolbar toolbar items: [title=\"Add\"] [title=\"Done\"]"));
    EXPECT_THAT(dump, HasSubstr("network activity indicator on"));
    EXPECT_THAT(dump, ::testing::Not(HasSubstr("spinner"))) << "hidden views are left out";
    ui::Application::shared()->enterBackground();
    ui::Application::shared()->enterForeground();
    EXPECT_EQ(driver.dump(), dump);
}

}  // namespace
