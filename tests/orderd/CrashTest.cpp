#include <gtest/gtest.h>
#include <sys/wait.h>

#include <thread>

#include "orderd/Database.h"
#include "tests/e2e/OrderServiceProcess.h"
#include "tests/orderd/UploadLoad.h"

namespace orderd::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(OrderServiceCrashTest, KilledMidwayKeepsEveryAcknowledgedPhotoAndNoPartialOne) {
    loadPhotos();
    apptest::OrderServiceProcess server;
    ASSERT_TRUE(server.isRunning());
    Fields demo{
        {"username", "demo"}, {"password", "demo1234"}, {"order", "1001"}, {"location", "0"}};
    std::set<int> acknowledged;
    std::atomic<int> count{0};
    std::thread load([&] { uploadConcurrently(server.url(), demo, acknowledged, count); });
    bool midway = eventually([&] { return count >= 60; }, 60s);
    int killed = server.stop(SIGKILL);
    load.join();
    ASSERT_TRUE(midway) << "only " << count << " uploads acknowledged";
    EXPECT_TRUE(WIFSIGNALED(killed));
    EXPECT_LT(acknowledged.size(), static_cast<std::size_t>(kUploads)) << "killed too late";

    ASSERT_TRUE(server.restart());
    EXPECT_EQ(postForm(server.url() + "/ipad/loginVer2.php",
                       {{"username", "demo"}, {"password", "demo1234"}})
                  .body,
              "SUCCESS");
    int stopped = server.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(stopped) && WEXITSTATUS(stopped) == 0);
    const fs::path& dir = server.dataDir();
    expectStored(dir, acknowledged);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    std::set<std::string> sent;
    for (const auto& photo : loadPhotos()) {
        sent.insert(sha256Hex(photo));
    }
    // Whatever is on disk is whole; under photos/ only what the table knows of.
    auto db = Database::open(dir / "orderd.sqlite");
    ASSERT_TRUE(db.ok());
    for (const char* folder : {"photos", "unrecorded"}) {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir / folder, ec)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            EXPECT_TRUE(sent.count(sha256Hex(readFile(entry.path()))))
                << "partial " << entry.path();
            if (std::string(folder) == "photos") {
                EXPECT_TRUE(db.value()->hasUploadAt(entry.path().lexically_relative(dir)))
                    << entry.path();
            }
        }
    }
}

}  // namespace
}  // namespace orderd::test
