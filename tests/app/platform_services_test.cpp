#include <gtest/gtest.h>

#include "net/operations/HTTPRequestOperation.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "tests/app/AppHarness.h"
#include "tests/support/LoopbackServer.h"

// What the app joins at launch: the HTTP layer's background tasks and User-Agent to the UI
// layer's application, device and screen.
namespace {

using test::ScriptedResponse;

TEST(PlatformServicesTest, AnExpiryOnTheApplicationCancelsARunningRequest) {
    test::LoopbackServer server;
    server.route("/slow", [](const auto&) {
        ScriptedResponse stalled = ScriptedResponse::text(200, "late");
        stalled.delayBeforeHeaders = std::chrono::seconds(30);
        return stalled;
    });
    apptest::AppHarness app{{server.url(""), server.url("")}};
    auto application = ui::Application::shared();
    auto operation =
        net::HTTPRequestOperation::create(url::URLRequest(url::URL::create(server.url("/slow"))));
    bool expired = false;
    operation->setShouldExecuteAsBackgroundTaskWithExpirationHandler([&] { expired = true; });
    ASSERT_EQ(application->backgroundTaskCount(), 1u);
    operation->start();
    ASSERT_TRUE(app.driver.pumpUntil([&] { return server.requestCount() == 1; }));

    application->expireBackgroundTasks();
    EXPECT_TRUE(expired);
    EXPECT_TRUE(operation->isCancelled());
    ASSERT_TRUE(app.driver.pumpUntil([&] { return operation->isFinished(); }));
    EXPECT_EQ(net::BackgroundTaskService::shared().activeTaskCount(), 0u);
    EXPECT_EQ(application->backgroundTaskCount(), 0u);
}

TEST(PlatformServicesTest, RequestsDescribeTheDeviceAndScreenOfTheUILayer) {
    test::LoopbackServer server;
    server.route("/ipad/loginVer2.php",
                 [](const auto&) { return ScriptedResponse::text(200, "SUCCESS"); });
    const ui::Screen screen = ui::Screen::main();
    ui::Device::configure("iPad", "7.1");
    ui::Screen::configure(screen.bounds().size, 3.0);
    {
        apptest::AppHarness app{{server.url(""), server.url("")}};
        EXPECT_TRUE(app.signIn("ana", "pw"));
    }
    ui::Screen::configure(screen.bounds().size, screen.scale());
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("User-Agent"),
              "app_tests/" PROOFSHOT_VERSION " (iPad; iOS 7.1; Scale/3.00)");
}

}  // namespace
