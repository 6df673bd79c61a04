#include <gtest/gtest.h>

#include "tests/orderd/UploadLoad.h"

namespace orderd::test {
namespace {

TEST(OrderServiceLoadTest, TwoHundredConcurrentUploadsArriveIntact) {
    loadPhotos();
    TestServer server;
    std::set<int> acknowledged;
    std::atomic<int> count{0};
    uploadConcurrently(server.baseUrl(), uploadFields("1001", "1"), acknowledged, count);
    EXPECT_EQ(acknowledged.size(), static_cast<std::size_t>(kUploads));
    ASSERT_TRUE(server.waitUntilIdle());
    EXPECT_EQ(server.service().database().uploadCount(), kUploads);
    EXPECT_EQ(server.storedFileCount(), static_cast<std::size_t>(kUploads));
    expectStored(server.dataDir(), acknowledged);
}

}  // namespace
}  // namespace orderd::test
