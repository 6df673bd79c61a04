#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewTransition.h"
#include "screens/camera_overlay/OverlayViewController.h"
#include "screens/order_search/MainView.h"
#include "screens/photo_collection/AddPhotosView.h"
#include "screens/upload/UploadView.h"
#include "tests/app/AppHarness.h"
#include "tests/support/LoopbackServer.h"

// The upload screen against a scripted upload endpoint.
namespace {

using test::ScriptedResponse;
using ::testing::HasSubstr;

constexpr const char* kUpload = "/ipad/uploadPicPhotos.php";

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.route("/ipad/loginVer2.php",
                     [](const auto&) { return ScriptedResponse::text(200, "SUCCESS"); });
        server.route("/ipad/getOrderDetails.php",
                     [](const auto&) { return ScriptedResponse::text(200, "SUCCESS,a,b,c,"); });
        ASSERT_TRUE(app->signIn("ana", "pw-12345"));
        ASSERT_TRUE(app->search("1001"));
        ASSERT_TRUE(app->openPhotos());
        photos = app->screen<app::AddPhotosView>();
    }
    void addPhotos(int count) {
        for (int i = 0; i < count; ++i) {
            core::NotificationCenter::defaultCenter()->post(
                app::kImageNotification, apptest::makeJPEGPicture(320 + 16 * i, 240));
        }
    }
    ::testing::AssertionResult openUpload() {
        if (auto tapped = app->driver.tap("Upload"); !tapped) {
            return ::testing::AssertionFailure() << tapped.error().localizedDescription();
        }
        if (auto moved = app->driver.advance(ui::ViewTransition::kNavigationDuration); !moved) {
            return ::testing::AssertionFailure() << moved.error().localizedDescription();
        }
        upload = app->screen<app::UploadView>();
        return upload ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
    }
    std::vector<test::RecordedRequest> uploads() const {
        std::vector<test::RecordedRequest> found;
        for (const auto& request : server.requests()) {
            if (request.path() == kUpload) {
                found.push_back(request);
            }
        }
        return found;
    }
    std::string part(const std::string& body, const std::string& name) const {
        auto header = body.find("name=\"" + name + "\"");
        auto start = body.find("\r\n\r\n", header) + 4;
        return body.substr(start, body.find("\r\n--", start) - start);
    }

    test::LoopbackServer server;
    std::unique_ptr<apptest::AppHarness> app = std::make_unique<apptest::AppHarness>(
        app::ServiceEndpoints{server.url(""), server.url("")});
    std::shared_ptr<app::AddPhotosView> photos;
    std::shared_ptr<app::UploadView> upload;
};

// Lets the scripted server answer one upload at a time, so the bar can be read after each.
struct AnswerGate {
    std::mutex mutex;
    std::condition_variable changed;
    int allowed = 0;

    void letOneThrough() {
        {
            std::lock_guard lock(mutex);
            ++allowed;
        }
        changed.notify_one();
    }
    void waitForTurn() {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(30), [this] { return allowed > 0; });
        --allowed;
    }
};

TEST_F(UploadTest, EveryPhotoIsPostedWithItsIndexAndTheBarCountsAcknowledgements) {
    auto gate = std::make_shared<AnswerGate>();
    server.route(kUpload, [gate](const auto&) {
        gate->waitForTurn();
        return ScriptedResponse::text(200, "SUCCESS");
    });
    addPhotos(3);
    ASSERT_TRUE(openUpload());
    EXPECT_EQ(apptest::AppHarness::promptLine(),
              "Sheet \"Location\" [0: Before Folder] [1: After Folder] [2: Cancel]");
    ASSERT_TRUE(app->driver.answer("After Folder"));
    EXPECT_TRUE(ui::Application::shared()->isNetworkActivityIndicatorVisible());
    std::vector<double> bar;
    for (int acknowledged = 1; acknowledged <= 3; ++acknowledged) {
        gate->letOneThrough();
        ASSERT_TRUE(app->driver.pumpUntil([&] { return upload->finishedCount() == acknowledged; }));
        bar.push_back(upload->progress()->progress());
    }
    EXPECT_THAT(bar, ::testing::ElementsAre(::testing::DoubleEq(1.0 / 3),
                                            ::testing::DoubleEq(2.0 / 3), 1.0));
    EXPECT_EQ(upload->label()->text(), "Finished Uploading");
    EXPECT_FALSE(ui::Application::shared()->isNetworkActivityIndicatorVisible());
    EXPECT_TRUE(app->logged("Button clicked: 1"));
    EXPECT_TRUE(app->logged("response: [SUCCESS]"));

    std::set<std::string> targets;
    for (const auto& request : uploads()) {
        targets.insert(request.target);
        EXPECT_THAT(*request.header("Content-Type"),
                    HasSubstr("multipart/form-data; boundary=Boundary+0xAbCdEfGbOuNdArY"));
        EXPECT_EQ(part(request.body, "username"), "ana");
        EXPECT_EQ(part(request.body, "password"), "pw-12345");
        EXPECT_EQ(part(request.body, "order"), "1001");
        EXPECT_EQ(part(request.body, "location"), "1");
        EXPECT_THAT(request.body, HasSubstr("name=\"file\"; filename=\"temp.jpeg\"\r\n"
                                            "Content-Type: image/jpeg"));
    }
    EXPECT_EQ(targets, (std::set<std::string>{kUpload + std::string("?order=0"),
                                              kUpload + std::string("?order=1"),
                                              kUpload + std::string("?order=2")}));

    ASSERT_TRUE(app->driver.tap("btn"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(app->front(), "MainView");
    EXPECT_EQ(app->navigation()->viewControllers().size(), 2u);
}

TEST_F(UploadTest, AFailedUploadIsReportedAndThePhotosCanBeSentAgain) {
    server.route(kUpload, [](const test::RecordedRequest& request) {
        bool second = request.target.ends_with("order=1");
        return ScriptedResponse::text(second ? 500 : 200, second ? "oops" : "SUCCESS");
    });
    addPhotos(3);
    ASSERT_TRUE(openUpload());
    ASSERT_TRUE(app->driver.answer("Before Folder"));
    ASSERT_TRUE(app->driver.pumpUntil(
        [&] { return upload->finishedCount() + upload->failedCount() == 3; }));
    EXPECT_EQ(apptest::AppHarness::promptLine(),
              "Alert \"Error\": \"Could not contact server\" [0: OK]");
    EXPECT_EQ(ui::Prompt::queuedCount(), 1u) << "one alert only, nothing queued behind it";
    EXPECT_DOUBLE_EQ(upload->progress()->progress(), 2.0 / 3);
    EXPECT_EQ(upload->label()->text(), "Uploaded 2 of 3 photos");
    EXPECT_FALSE(app->driver.find("btn"));
    EXPECT_TRUE(app->logged("Button clicked: 0"));
    auto lines = app->log.messages();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const auto& line) { return line.find("error: ") != std::string::npos; }),
        1);
    EXPECT_FALSE(ui::Application::shared()->isNetworkActivityIndicatorVisible());

    ASSERT_TRUE(app->driver.answer("OK"));
    ASSERT_TRUE(app->driver.tap("Back to Photos"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(app->front(), "AddPhotosView");
    EXPECT_EQ(photos->newPics().size(), 3u);
}

TEST_F(UploadTest, CancelSendsNothingAndAnEmptyBatchOffersTheWayBack) {
    addPhotos(2);
    ASSERT_TRUE(openUpload());
    ASSERT_TRUE(app->driver.answer("Cancel"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(app->front(), "AddPhotosView");
    EXPECT_EQ(photos->newPics().size(), 2u);
    EXPECT_TRUE(app->logged("Button clicked: 2"));

    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(app->driver.selectItem("collectionView", 0));
        ASSERT_TRUE(app->driver.answer("Yes"));
    }
    ASSERT_TRUE(openUpload());
    ASSERT_TRUE(app->driver.answer("After Folder"));
    EXPECT_EQ(upload->label()->text(), "Uploaded 0 of 0 photos");
    ASSERT_TRUE(app->driver.tap("Back to Photos"));
    ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    EXPECT_EQ(app->front(), "AddPhotosView");
    EXPECT_TRUE(uploads().empty());
}

}  // namespace
