#include <gtest/gtest.h>

#include <fstream>

#include "orderd/CredentialChecker.h"
#include "orderd/Database.h"
#include "orderd/PhotoStore.h"
#include "tests/orderd/TempDir.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

class StorageTest : public ::testing::Test {
protected:
    test::TempDir temp_;
    const fs::path& dir_ = temp_.path();
};

TEST_F(StorageTest, CredentialsAreCheckedEveryTimeEvenWhenRemembered) {
    auto db = Database::open(dir_ / "db.sqlite");
    ASSERT_TRUE(db.ok());
    auto hash = CredentialChecker::hashPassword("s3cret-pass");
    ASSERT_TRUE(hash.ok());
    EXPECT_EQ(hash.value().find("s3cret-pass"), std::string::npos);
    ASSERT_TRUE(db.value()->addUser("ana", hash.value()).ok());
    EXPECT_FALSE(db.value()->addUser("ana", hash.value()).ok());

    CredentialChecker checker(*db.value());
    EXPECT_TRUE(checker.verify("ana", "s3cret-pass"));
    EXPECT_TRUE(checker.verify("ana", "s3cret-pass"));   // now from memory
    EXPECT_FALSE(checker.verify("ana", "s3cret-pasS"));  // memory must not widen the door
    EXPECT_FALSE(checker.verify("ana", ""));
    EXPECT_FALSE(checker.verify("bob", "s3cret-pass"));
    EXPECT_FALSE(checker.verify("../ana", "s3cret-pass"));
}

TEST_F(StorageTest, UnfinishedPhotosDisappear) {
    auto store = PhotoStore::open(dir_);
    ASSERT_TRUE(store.ok());
    {
        auto dropped = store.value().createTemp();
        ASSERT_TRUE(dropped.value().write("half a photo").ok());
        EXPECT_EQ(test::filesIn(dir_ / "tmp"), 1u);
    }
    EXPECT_EQ(test::filesIn(dir_ / "tmp"), 0u);
    // A crash leaves its temporary file behind; the next start clears it away.
    std::ofstream(dir_ / "tmp" / "upload-left-over.part") << "half";
    store.value().removeLeftovers();
    EXPECT_EQ(test::filesIn(dir_ / "tmp"), 0u);
    EXPECT_EQ(test::filesIn(dir_ / "photos"), 0u);
}

}  // namespace
}  // namespace orderd
