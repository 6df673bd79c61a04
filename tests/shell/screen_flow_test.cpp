#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/ActionSheet.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/CameraDevice.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ConnectionTable.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Resources.h"
#include "platform/ui/TestCamera.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewTransition.h"
#include "shell/HeadlessDriver.h"

// Three screens in the way the app's own are written, driven end to end as a user would.
namespace {

using ::testing::HasSubstr;

class Photos : public ui::ViewController,
               public ui::CollectionViewDataSource,
               public ui::CollectionViewDelegate,
               public ui::ActionSheetDelegate,
               public ui::ImagePickerControllerDelegate,
               public ui::NavigationControllerDelegate {
public:
    static std::shared_ptr<Photos> create() { return std::shared_ptr<Photos>(new Photos()); }

    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<Photos>;
        static const Table table{Table::outlet("collectionView", &Photos::collectionView),
                                 Table::outlet("myToolbar", &Photos::toolbar),
                                 Table::action("back", &Photos::back),
                                 Table::action("addPhotos", &Photos::addPhotos)};
        return &table;
    }

    void viewDidLoad() override {
        ViewController::viewDidLoad();
        collectionView->registerClass<ui::CollectionViewCell>("acell");
        picker = ui::ImagePickerController::create();
        picker->setDelegate(std::static_pointer_cast<Photos>(shared_from_this()));
    }

    void back() { navigationController()->popViewControllerAnimated(ui::Animated::Yes); }
    void addPhotos() {
        auto sheet = ui::ActionSheet::create(
            "Add Photos", std::static_pointer_cast<Photos>(shared_from_this()), "Cancel",
            std::nullopt, {"From Camera", "From Photo Gallery"});
        sheet->showInView(view());
    }
    void done(const std::shared_ptr<core::Object>&) {
        dismissViewControllerAnimated(ui::Animated::Yes, [this] { ++dismissals; });
    }

    void clickedButtonAtIndex(ui::ActionSheet&, int index) override {
        auto source = index == 0 ? ui::ImagePickerSourceType::Camera
                                 : ui::ImagePickerSourceType::PhotoLibrary;
        if (index > 1 || !ui::ImagePickerController::isSourceTypeAvailable(source)) {
            return;
        }
        picker->setSourceType(source);
        if (source == ui::ImagePickerSourceType::Camera) {
            prepareCamera();
        }
        presentModalViewController(picker, ui::Animated::Yes);
    }
    // Our own controls over the camera picture, added once however often the camera shows.
    void prepareCamera() {
        picker->setShowsCameraControls(false);
        auto overlay = picker->cameraOverlayView();
        if (!overlay->subviews().empty()) {
            return;
        }
        auto controls = ui::Toolbar::create(ui::Rect(0, overlay->frame().height() - 54, 320, 54));
        auto take = ui::BarButtonItem::create(
            "Take", ui::BarButtonItemStyle::Bordered,
            [weak = picker->weak_from_this()](const auto&) {
                if (auto strong = weak.lock()) {
                    std::static_pointer_cast<ui::ImagePickerController>(strong)->takePicture();
                }
            });
        take->setIdentifier("takePictureButton");
        auto finish = ui::BarButtonItem::create(
            "Finish", ui::BarButtonItemStyle::Done,
            std::static_pointer_cast<Photos>(shared_from_this()), &Photos::done);
        controls->setItems({take, finish});
        overlay->addSubview(controls);
    }

    void didFinishPickingMediaWithInfo(ui::ImagePickerController&,
                                       const ui::MediaInfo& info) override {
        pictures.push_back(std::dynamic_pointer_cast<ui::Image>(
            info.at(std::string(ui::ImagePickerControllerOriginalImage))));
        collectionView->reloadData();
    }
    void willShowViewController(ui::NavigationController&, const ui::ViewControllerPtr& shown,
                                ui::Animated) override {
        shown->navigationItem()->setRightBarButtonItem(ui::BarButtonItem::create(
            "Done", ui::BarButtonItemStyle::Done,
            std::static_pointer_cast<Photos>(shared_from_this()), &Photos::done));
    }
    int numberOfItemsInSection(ui::CollectionView&, int) override {
        return static_cast<int>(pictures.size());
    }
    ui::CollectionViewCellPtr cellForItemAtIndexPath(ui::CollectionView& view,
                                                     const ui::IndexPath& path) override {
        return view.dequeueReusableCell("acell", path);
    }

    std::shared_ptr<ui::CollectionView> collectionView;
    std::shared_ptr<ui::Toolbar> toolbar;
    std::shared_ptr<ui::ImagePickerController> picker;
    std::vector<ui::ImagePtr> pictures;
    int dismissals = 0;

private:
    Photos() : ui::ViewController("FlowPhotos") {}
};

class Search : public ui::ViewController {
public:
    static std::shared_ptr<Search> create() { return std::shared_ptr<Search>(new Search()); }
    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<Search>;
        static const Table table{Table::outlet("orderNumber", &Search::orderNumber),
                                 Table::outlet("logoffButton", &Search::unused),
                                 Table::outlet("addPhotosButton", &Search::unused),
                                 Table::action("logoff", &Search::logoff),
                                 Table::action("addPhotosPressed", &Search::addPhotosPressed)};
        return &table;
    }
    void logoff() { navigationController()->popViewControllerAnimated(ui::Animated::No); }
    void addPhotosPressed() {
        navigationController()->pushViewController(Photos::create(), ui::Animated::Yes);
    }

    std::shared_ptr<ui::TextField> orderNumber;
    std::shared_ptr<core::Object> unused;

private:
    Search() : ui::ViewController("FlowSearch") {}
};

class Login : public ui::ViewController {
public:
    static std::shared_ptr<Login> create() { return std::shared_ptr<Login>(new Login()); }
    const ui::ConnectionTable* connectionTable() const override {
        using Table = ui::OutletTable<Login>;
        static const Table table{Table::outlet("username", &Login::username),
                                 Table::outlet("password", &Login::password),
                                 Table::outlet("loginButton", &Login::unused),
                                 Table::action("loginPressed", &Login::loginPressed)};
        return &table;
    }
    void viewDidLoad() override {
        ViewController::viewDidLoad();
        navigationController()->setNavigationBarHidden(true);
    }
    void viewWillAppear(ui::Animated animated) override {
        ViewController::viewWillAppear(animated);
        username->setText("");
        password->setText("");
    }
    void loginPressed() {
        auto next = Search::create();
        ui::ViewTransition::transitionFromView(view(), next->view(), 1.0,
                                               ui::AnimationOptionTransitionFlipFromTop);
        navigationController()->pushViewController(next, ui::Animated::No);
    }

    std::shared_ptr<ui::TextField> username;
    std::shared_ptr<ui::TextField> password;
    std::shared_ptr<core::Object> unused;

private:
    Login() : ui::ViewController("FlowLogin") {}
};

class Delegate : public ui::ApplicationDelegate {
public:
    bool didFinishLaunchingWithOptions(ui::Application&, const LaunchOptions&) override {
        window = ui::Window::create(ui::Rect(0, 0, 320, 568));
        login = Login::create();
        auto navigation = ui::NavigationController::create(login);
        navigation->navigationBar()->setTintColor(ui::Color::black());
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        return true;
    }
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<Login> login;
};

class ScreenFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::shared()->resetForTesting();
        ui::Prompt::removeAllForTesting();
        ui::Resources::setDirectory(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                    "ui" / "data");
        library = std::filesystem::temp_directory_path() /
                  ("proofshot-flow-" + std::to_string(::getpid()));
        std::filesystem::create_directories(library);
        auto png = ui::PNGRepresentation(
            *ui::Image::create(std::make_shared<ui::Bitmap>(64, 48, ui::PixelFormat::RGB8)));
        std::ofstream(library / "one.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()),
                   static_cast<std::streamsize>(png->size()));
        ui::PhotoLibrary::setDefaultFolder(library);
        ASSERT_TRUE(ui::Application::shared()->launch(delegate));
    }
    void TearDown() override {
        ui::Prompt::removeAllForTesting();
        ui::Application::shared()->resetForTesting();
        std::filesystem::remove_all(library);
    }

    std::string front() const { return driver.visibleViewController()->className(); }

    core::VirtualClock clock;
    shell::HeadlessDriver driver{&clock};
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::filesystem::path library;
};

TEST_F(ScreenFlowTest, SignInFlipsToTheSearchScreenAndSignOffComesBackEmpty) {
    ASSERT_TRUE(driver.type("username", "jo"));
    ASSERT_TRUE(driver.type("password", "secret"));
    EXPECT_THAT(driver.dump(), HasSubstr("TextField password text=\"******\""));
    ASSERT_TRUE(driver.tap("loginButton"));
    EXPECT_EQ(front(), "Search") << "the push is not animated";
    EXPECT_THAT(driver.dump(), HasSubstr("transition flipFromTop 0.00/1.00 s"));
    EXPECT_FALSE(driver.tap("addPhotosButton")) << "touches wait for the flip";
    ASSERT_TRUE(driver.advance(1.0));

    ASSERT_TRUE(driver.tap("Sign off"));
    EXPECT_EQ(front(), "Login");
    EXPECT_EQ(delegate->login->username->text(), "");
    EXPECT_EQ(delegate->login->password->text(), "");
    EXPECT_EQ(delegate->window->subviews().size(), 1u);
}

TEST_F(ScreenFlowTest, GalleryPicksLandInTheGridAndDoneRemovesThePicker) {
    ASSERT_TRUE(driver.tap("loginButton"));
    ASSERT_TRUE(driver.advance(1.0));
    ASSERT_TRUE(driver.tap("addPhotosButton"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kNavigationDuration));
    ASSERT_EQ(front(), "Photos");
    auto photos = std::static_pointer_cast<Photos>(driver.visibleViewController());

    ASSERT_TRUE(driver.tap("Add"));
    EXPECT_THAT(
        driver.dump(),
        HasSubstr("Sheet \"Add Photos\" [0: From Camera] [1: From Photo Gallery] [2: Cancel]"));
    ASSERT_TRUE(driver.answer("From Photo Gallery"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kModalDuration));
    EXPECT_EQ(front(), "PhotoGridViewController");
    EXPECT_FALSE(driver.tap("Back")) << "the screen under the picker is out of reach";

    ASSERT_TRUE(driver.selectItem("photoLibrary", 0));
    ASSERT_TRUE(driver.pickFromLibrary(0));
    ASSERT_EQ(photos->pictures.size(), 2u);
    EXPECT_EQ(photos->pictures[0]->size(), (ui::Size{64, 48}));
    EXPECT_EQ(front(), "PhotoGridViewController") << "the gallery stays up after a pick";

    ASSERT_TRUE(driver.tap("Done"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kModalDuration));
    EXPECT_EQ(photos->dismissals, 1);
    EXPECT_EQ(front(), "Photos");
    EXPECT_THAT(driver.dump(), HasSubstr("CollectionView collectionView 2 items, 2 visible"));

    ASSERT_TRUE(driver.tap("Back"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(front(), "Search");
}

TEST_F(ScreenFlowTest, OverlayControlsTakePicturesThatArriveOnTheMainLoop) {
    ui::CameraDevice::setCurrent(ui::TestCamera::create());
    ASSERT_TRUE(driver.tap("loginButton"));
    ASSERT_TRUE(driver.advance(1.0));
    ASSERT_TRUE(driver.tap("addPhotosButton"));
    ASSERT_TRUE(driver.advance(ui::ViewTransition::kNavigationDuration));
    auto photos = std::static_pointer_cast<Photos>(driver.visibleViewController());

    for (int showing = 0; showing < 2; ++showing) {
        ASSERT_TRUE(driver.tap("Add"));
        ASSERT_TRUE(driver.answer("From Camera"));
        ASSERT_TRUE(driver.advance(ui::ViewTransition::kModalDuration));
        EXPECT_EQ(front(), "CameraViewController");
        EXPECT_EQ(photos->picker->cameraOverlayView()->subviews().size(), 1u);
        EXPECT_FALSE(driver.findItem("Cancel")) << "the camera's own controls are hidden";
        ASSERT_TRUE(driver.tap("takePictureButton"));
        ASSERT_TRUE(
            driver.pumpUntil([&] { return photos->pictures.size() == std::size_t(showing) + 1; }));
        ASSERT_TRUE(driver.tap("Finish"));
        ASSERT_TRUE(driver.advance(ui::ViewTransition::kModalDuration));
        EXPECT_EQ(front(), "Photos");
    }
    ui::CameraDevice::setCurrent(nullptr);
}

TEST_F(ScreenFlowTest, LeavingAndReenteringTheAppChangesNothingOnScreen) {
    ASSERT_TRUE(driver.type("username", "jo"));
    std::string before = driver.dump();
    ui::Application::shared()->enterBackground();
    ui::Application::shared()->enterForeground();
    EXPECT_EQ(driver.dump(), before);
}

}  // namespace
