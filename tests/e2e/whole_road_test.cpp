#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "app/SharedGlobals.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/PhotoAlbum.h"
#include "platform/ui/ViewTransition.h"
#include "screens/order_search/MainView.h"
#include "screens/photo_collection/AddPhotosView.h"
#include "screens/upload/UploadView.h"
#include "tests/app/AppHarness.h"
#include "tests/e2e/OrderServiceProcess.h"

// The app, headless, against the real order service with its demo data.
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WholeRoadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.isRunning()) << "proofshot-orderd did not start"; }

    apptest::OrderServiceProcess service;
    std::unique_ptr<apptest::AppHarness> app =
        std::make_unique<apptest::AppHarness>(app::ServiceEndpoints{service.url(), service.url()});
    std::shared_ptr<app::SharedGlobals> store = app::SharedGlobals::sharedInstance();
};

TEST_F(WholeRoadTest, LoginSearchFourPhotosOneRemovedAndThreeUploadedToTheAfterFolder) {
    for (int i = 0; i < 3; ++i) {
        app->camera->enqueue(apptest::makeJPEGPicture(1600 + 8 * i, 1200));
    }
    ASSERT_TRUE(app->signIn("demo", "demo1234"));
    ASSERT_TRUE(app->search("1001"));
    auto main = app->screen<app::MainView>();
    EXPECT_FALSE(main->line(1)->isHidden());
    EXPECT_FALSE(main->line(1)->text().empty());
    EXPECT_TRUE(main->pic()->image()) << "the service's own stock picture";
    EXPECT_EQ(store->orderID(), "1001");

    ASSERT_TRUE(app->openPhotos());
    auto photos = app->screen<app::AddPhotosView>();
    ASSERT_TRUE(app->openPicker("From Camera"));
    ASSERT_TRUE(app->driver.tap("startStopButton"));
    ASSERT_TRUE(app->waitForPhotos(1));
    ASSERT_TRUE(app->driver.advance(1.5));
    ASSERT_TRUE(app->waitForPhotos(2));
    ASSERT_TRUE(app->driver.tap("startStopButton"));
    ASSERT_TRUE(app->driver.tap("timedButton"));
    ASSERT_TRUE(app->driver.advance(5.0));
    ASSERT_TRUE(app->waitForPhotos(3));
    ASSERT_TRUE(app->finishPicker("cancelButton"));
    ASSERT_TRUE(app->openPicker("From Photo Gallery"));
    ASSERT_TRUE(app->driver.selectItem("photoLibrary", 0));
    ASSERT_TRUE(app->finishPicker("Done"));
    EXPECT_TRUE(app->logged("Pressed Done"));
    ASSERT_EQ(photos->newPics().size(), 4u);
    ASSERT_TRUE(app->driver.selectItem("collectionView", 1));
    ASSERT_TRUE(app->driver.answer("Yes"));
    auto sent = photos->newPics();
    ASSERT_EQ(sent.size(), 3u);

    ASSERT_TRUE(app->driver.tap("Upload"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    auto upload = app->screen<app::UploadView>();
    ASSERT_TRUE(app->driver.answer("After Folder"));
    // The bar after each acknowledgement; two that land in one turn of the main loop are read
    // together (the app tests hold the service back to read every step).
    for (int acknowledged = 0; acknowledged < 3;) {
        ASSERT_TRUE(
            app->driver.pumpUntil([&] { return upload->finishedCount() > acknowledged; }, 30.0))
            << app->driver.dump();
        acknowledged = upload->finishedCount();
        EXPECT_DOUBLE_EQ(upload->progress()->progress(), acknowledged / 3.0);
    }
    EXPECT_EQ(upload->label()->text(), "Finished Uploading");
    EXPECT_EQ(upload->failedCount(), 0);
    ASSERT_TRUE(app->driver.tap("btn"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(app->front(), "MainView");

    // On the server: each photo under the after folder, the very JPEG the app encoded,
    // named with its batch index.
    std::map<int, std::string> stored;
    for (const auto& entry :
         std::filesystem::directory_iterator(service.dataDir() / "photos" / "1001" / "after")) {
        std::smatch match;
        std::string name = entry.path().filename().string();
        ASSERT_TRUE(std::regex_search(name, match, std::regex("-([0-9]+)-[^-]+\\.jpg$"))) << name;
        stored[std::stoi(match[1])] = readFile(entry.path());
    }
    ASSERT_EQ(stored.size(), 3u);
    for (int index = 0; index < 3; ++index) {
        auto jpeg = ui::JPEGRepresentation(*sent[static_cast<std::size_t>(index)], 1.0);
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(stored[index], std::string(jpeg->begin(), jpeg->end())) << index;
    }
    EXPECT_FALSE(std::filesystem::exists(service.dataDir() / "photos" / "1001" / "before"));

    // The album: the three camera pictures at full size, not the gallery one.
    ui::PhotoAlbum::savedPhotos()->waitForPendingWrites();
    std::multiset<double> widths;
    for (const auto& entry : std::filesystem::directory_iterator(app->album)) {
        auto bytes = readFile(entry.path());
        auto image = ui::Image::create(core::Bytes(bytes.begin(), bytes.end()));
        ASSERT_TRUE(image);
        EXPECT_EQ((*image)->size().height, 1200);
        widths.insert((*image)->size().width);
    }
    EXPECT_EQ(widths, (std::multiset<double>{1600, 1608, 1616}));
}

TEST_F(WholeRoadTest, TheServiceRefusesAWrongPasswordAndServesAnotherUserAfterSignOff) {
    ASSERT_TRUE(service.command({"user", "add", "--username", "bob"}, "bob-password-2\n"));
    ASSERT_TRUE(app->driver.type("username", "demo"));
    ASSERT_TRUE(app->driver.type("password", "wrong-one"));
    ASSERT_TRUE(app->driver.tap("loginButton"));
    ASSERT_TRUE(app->driver.pumpUntil([&] { return !app->promptLine().empty(); }, 30.0));
    EXPECT_EQ(app->promptLine(), "Alert \"Error\": \"Invalid username or password\" [0: Ok]");
    EXPECT_TRUE(app->logged("Request Successful, response 'INVALID'"));
    ASSERT_TRUE(app->driver.answer("Ok"));

    ASSERT_TRUE(app->signIn("demo", "demo1234"));
    ASSERT_TRUE(app->search("9999"));
    EXPECT_TRUE(app->screen<app::MainView>()->line(1)->isHidden());
    ASSERT_TRUE(app->driver.tap("Sign off"));
    ASSERT_TRUE(app->signIn("bob", "bob-password-2"));
    EXPECT_EQ(store->username(), "bob");
    EXPECT_EQ(store->orderID(), "9999") << "kept until the next answer";
    EXPECT_TRUE(app->screen<app::MainView>()->line(1)->isHidden()) << "a new search screen";
}

}  // namespace
