#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/SharedGlobals.h"
#include "platform/ui/PNGEncoder.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewTransition.h"
#include "screens/login/ViewController.h"
#include "screens/order_search/MainView.h"
#include "tests/app/AppHarness.h"
#include "tests/support/LoopbackServer.h"

// The login and order search screens against a scripted order service.
namespace {

using test::ScriptedResponse;
using ::testing::HasSubstr;

constexpr const char* kLogin = "/ipad/loginVer2.php";
constexpr const char* kDetails = "/ipad/getOrderDetails.php";

class LoginSearchTest : public ::testing::Test {
protected:
    app::ServiceEndpoints endpoints() const {
        return app::ServiceEndpoints{server.url(""), server.url("")};
    }
    void reply(const char* path, std::string body) {
        server.route(path, [body](const auto&) { return ScriptedResponse::text(200, body); });
    }
    std::size_t count(const std::string& path) const {
        std::size_t n = 0;
        for (const auto& request : server.requests()) {
            n += request.path() == path;
        }
        return n;
    }

    test::LoopbackServer server;
    std::unique_ptr<apptest::AppHarness> app = std::make_unique<apptest::AppHarness>(endpoints());
    std::shared_ptr<app::SharedGlobals> store = app::SharedGlobals::sharedInstance();
};

TEST_F(LoginSearchTest, SuccessStoresTheTextAtAnswerTimeAndFlipsToANewSearchScreen) {
    EXPECT_FALSE(store->username() || store->password() || store->orderID());
    server.route(kLogin, [](const auto&) {
        ScriptedResponse answer = ScriptedResponse::text(200, "SUCCESS");
        answer.delayBeforeHeaders = std::chrono::milliseconds(200);
        return answer;
    });
    ASSERT_TRUE(app->driver.type("username", "ana b"));
    ASSERT_TRUE(app->driver.type("password", "p&ss=1"));
    EXPECT_THAT(app->driver.dump(), HasSubstr("TextField password text=\"******\""));
    ASSERT_TRUE(app->driver.tap("loginButton"));
    // A second tap while the answer is out sends nothing.
    EXPECT_FALSE(app->driver.tap("loginButton"));
    app->delegate->viewController()->loginPressed();
    ASSERT_TRUE(app->driver.type("username", "ana c"));
    ASSERT_TRUE(app->driver.pumpUntil([&] { return app->front() == "MainView"; }));

    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].body, "username=ana%20b&password=p%26ss%3D1");
    EXPECT_TRUE(app->logged("Request Successful, response 'SUCCESS'"));
    EXPECT_EQ(store->username(), "ana c") << "the field as it is when the answer comes";
    EXPECT_EQ(store->password(), "p&ss=1");
    EXPECT_THAT(app->driver.dump(), HasSubstr("transition flipFromTop"));
    EXPECT_EQ(app->navigation()->viewControllers().size(), 2u);
    EXPECT_TRUE(app->delegate->viewController()->loginButton()->isEnabled());
    EXPECT_TRUE(app->navigation()->isNavigationBarHidden());
}

TEST_F(LoginSearchTest, AnythingButExactlySuccessIsRefusedAndTheStoreKeepsItsValues) {
    store->setUsername("before");
    for (std::string answer : {"SUCCESS\n", "success", " SUCCESS", "INVALID", "", "\xff\xfe"}) {
        reply(kLogin, answer);
        ASSERT_TRUE(app->driver.type("username", "ana"));
        ASSERT_TRUE(app->driver.tap("loginButton"));
        ASSERT_TRUE(app->driver.pumpUntil([&] { return !app->promptLine().empty(); }));
        EXPECT_EQ(app->promptLine(), "Alert \"Error\": \"Invalid username or password\" [0: Ok]")
            << answer;
        ASSERT_TRUE(app->driver.answer("Ok"));
        EXPECT_EQ(app->front(), "ViewController");
        EXPECT_EQ(app->driver.find<ui::TextField>("username")->text(), "ana");
    }
    EXPECT_TRUE(app->logged("Request Successful, response '(null)'"));
    EXPECT_EQ(store->username(), "before");
}

TEST_F(LoginSearchTest, ServiceDownOrFailingSaysCouldNotReachServer) {
    server.route(kLogin, [](const auto&) { return ScriptedResponse::text(503, "SUCCESS"); });
    for (const char* service : {"failing", "down"}) {
        SCOPED_TRACE(service);
        ASSERT_TRUE(app->driver.tap("loginButton"));
        ASSERT_TRUE(app->driver.pumpUntil([&] { return !app->promptLine().empty(); }));
        EXPECT_EQ(app->promptLine(), "Alert \"Error\": \"Could not reach server\" [0: Ok]");
        ASSERT_TRUE(app->driver.answer("Ok"));
        EXPECT_TRUE(app->driver.find<ui::Button>("loginButton")->isEnabled());
        server.stop();
    }
    auto lines = app->log.messages();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.rfind("[HTTPClient Error]: ", 0) == 0;
                            }),
              2);
    EXPECT_EQ(app->front(), "ViewController");
}

TEST(StockPictureAddress, OnlyASinglePathSegmentBelowTheStockFolderIsAskedFor) {
    const app::ServiceEndpoints endpoints{"http://o.test", "http://s.test/"};
    EXPECT_EQ(endpoints.stockPictureURL("fence.png"), "http://s.test/trelmostockimages/fence.png");
    // Kept as given: a name that is no URL shows no picture further on.
    EXPECT_EQ(endpoints.stockPictureURL("a b.png"), "http://s.test/trelmostockimages/a b.png");
    for (const char* name : {"", ".", "..", "../../ipad/loginVer2.php", "a/b.png", "a\\b.png",
                             "x.png?order=1", "x.png#top", "%2e%2E", "..%2Fsecret", "a%5cb"}) {
        EXPECT_FALSE(endpoints.stockPictureURL(name)) << name;
    }
}

TEST_F(LoginSearchTest, FoundOrderShowsDetailsAndStockPictureAndSignOffComesBackEmpty) {
    reply(kLogin, "SUCCESS");
    reply(kDetails, "SUCCESS,Line one,Line two,Line three,fence.png,ignored");
    auto png = ui::PNGRepresentation(*apptest::makeJPEGPicture(30, 20));
    server.route("/trelmostockimages/fence.png", [png](const auto&) {
        return ScriptedResponse::text(200, std::string(png->begin(), png->end()), "image/png");
    });
    ASSERT_TRUE(app->signIn("ana", "secret-1"));
    auto main = app->screen<app::MainView>();
    EXPECT_TRUE(main->pic()->isHidden() && main->line(1)->isHidden() &&
                main->addPhotosButton()->isHidden());
    ASSERT_TRUE(app->search("1001"));

    auto details = server.requests()[1];
    EXPECT_EQ(details.body, "username=ana&password=secret-1&order=1001");
    EXPECT_FALSE(main->addPhotosButton()->isHidden());
    EXPECT_EQ(main->line(1)->text(), "Line one");
    EXPECT_EQ(main->line(2)->text(), "Line two");
    EXPECT_EQ(main->line(3)->text(), "Line three");
    ASSERT_TRUE(main->pic()->image());
    EXPECT_EQ(main->pic()->image()->size(), (ui::Size{30, 20}));
    EXPECT_EQ(store->orderID(), "1001");

    ASSERT_TRUE(app->driver.tap("Sign off"));
    EXPECT_EQ(app->front(), "ViewController");
    EXPECT_EQ(app->driver.find<ui::TextField>("username")->text(), "");
    EXPECT_EQ(store->username(), "ana") << "sign-off keeps the store";
    EXPECT_EQ(store->orderID(), "1001");
}

TEST_F(LoginSearchTest, UnknownShortAndFailingAnswersKeepTheScreenSound) {
    reply(kLogin, "SUCCESS");
    ASSERT_TRUE(app->signIn("ana", "secret-1"));
    auto main = app->screen<app::MainView>();

    reply(kDetails, "NOTFOUND");
    ASSERT_TRUE(app->search("77"));
    EXPECT_TRUE(main->line(1)->isHidden());
    EXPECT_EQ(store->orderID(), "77") << "every answer records the typed number";
    EXPECT_EQ(app->promptLine(), "");

    // Fewer fields than promised: what is there, and no picture to fetch.
    reply(kDetails, "SUCCESS,Only line");
    ASSERT_TRUE(app->search("78"));
    EXPECT_FALSE(main->line(1)->isHidden());
    EXPECT_EQ(main->line(1)->text(), "Only line");
    EXPECT_EQ(main->line(2)->text(), "");
    EXPECT_EQ(main->line(3)->text(), "");
    EXPECT_FALSE(main->pic()->image());

    // A missing picture leaves the picture empty.
    reply(kDetails, "SUCCESS,a,b,c,missing.jpg");
    ASSERT_TRUE(app->search("79"));
    EXPECT_EQ(main->line(3)->text(), "c");
    EXPECT_FALSE(main->pic()->image());
    EXPECT_EQ(count("/trelmostockimages/missing.jpg"), 1u);

    // A failure leaves the details and the stored number as they were.
    server.route(kDetails, [](const auto&) { return ScriptedResponse::text(500, "x"); });
    ASSERT_TRUE(app->search("81"));
    EXPECT_EQ(app->promptLine(), "Alert \"Error\": \"Could not reach server\" [0: Ok]");
    EXPECT_EQ(store->orderID(), "79");
    EXPECT_FALSE(main->line(1)->isHidden());
}

TEST_F(LoginSearchTest, ADeadStockStoreHoldsTheScreenOnlyBriefly) {
    reply(kLogin, "SUCCESS");
    reply(kDetails, "SUCCESS,a,b,c,slow.jpg");
    server.route("/trelmostockimages/slow.jpg", [](const auto&) {
        ScriptedResponse answer = ScriptedResponse::text(200, "late");
        answer.delayBeforeHeaders = std::chrono::seconds(60);
        return answer;
    });
    ASSERT_TRUE(app->signIn("ana", "secret-1"));
    ASSERT_TRUE(app->driver.type("orderNumber", "1"));
    ASSERT_TRUE(app->driver.tap("searchButton"));
    auto main = app->screen<app::MainView>();
    // The watchdog is well past the fetch's bound and far short of the store's delay.
    ASSERT_TRUE(app->driver.pumpUntil([&] { return !main->activity()->isAnimating(); },
                                      app::MainView::kStockPictureTimeout + 8));
    EXPECT_EQ(main->line(1)->text(), "a");
    EXPECT_FALSE(main->pic()->image());
    server.stop();
}

TEST_F(LoginSearchTest, TheCollectionScreenLayoutFollowsTheScreenHeight) {
    reply(kLogin, "SUCCESS");
    reply(kDetails, "SUCCESS,a,b,c,");
    ASSERT_TRUE(app->signIn("ana", "secret-1"));
    ASSERT_TRUE(app->search("1"));
    for (auto [height, layout] :
         {std::pair{568.0, "AddPhotosView"}, std::pair{480.0, "AddPhotosViewSmall"},
          std::pair{1024.0, "AddPhotosViewSmall"}}) {
        ui::Screen::configure(ui::Size{320, height}, 2);
        ASSERT_TRUE(app->openPhotos());
        EXPECT_EQ(app->navigation()->topViewController()->nibName(), layout);
        ASSERT_TRUE(app->driver.tap("Back"));
        ASSERT_TRUE(app->driver.advance(ui::ViewTransition::kNavigationDuration));
    }
    ui::Screen::configure(ui::Screen::kPhoneTall, 2);
}

TEST(SharedGlobalsTest, EveryCopyIsTheOneStore) {
    auto copy = app::SharedGlobals::sharedInstance()->copy();
    copy->setOrderID("42");
    EXPECT_EQ(app::SharedGlobals::sharedInstance()->orderID(), "42");
    app::SharedGlobals::sharedInstance()->clear();
    EXPECT_FALSE(copy->orderID());
}

}  // namespace
