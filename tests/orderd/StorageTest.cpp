#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "orderd/CredentialChecker.h"
#include "orderd/Database.h"
#include "orderd/Jpeg.h"
#include "orderd/PhotoStore.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orderd-unit-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::size_t filesIn(const fs::path& folder) {
        std::size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            count += entry.is_regular_file() ? 1 : 0;
        }
        return count;
    }

    fs::path dir_;
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

TEST_F(StorageTest, CommittedPhotosNeverOverwriteEachOther) {
    auto store = PhotoStore::open(dir_);
    ASSERT_TRUE(store.ok());
    std::vector<std::string> paths;
    for (const char* content : {"first", "second", "third"}) {
        auto temp = store.value().createTemp();
        ASSERT_TRUE(temp.ok());
        ASSERT_TRUE(temp.value().write(content).ok());
        ASSERT_TRUE(temp.value().finish().ok());
        auto stored = store.value().commit(temp.value(), "1001", Location::Before, 0);
        ASSERT_TRUE(stored.ok()) << stored.error().message;
        paths.push_back(stored.value());
    }
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_NE(paths[1], paths[2]);
    std::ifstream second(dir_ / paths[1]);
    std::string text;
    second >> text;
    EXPECT_EQ(text, "second");
    EXPECT_EQ(paths[0].rfind("photos/1001/before/", 0), 0u);
    EXPECT_EQ(filesIn(dir_ / "tmp"), 0u);
}

TEST_F(StorageTest, UnfinishedPhotosDisappear) {
    auto store = PhotoStore::open(dir_);
    ASSERT_TRUE(store.ok());
    {
        auto dropped = store.value().createTemp();
        ASSERT_TRUE(dropped.value().write("half a photo").ok());
        EXPECT_EQ(filesIn(dir_ / "tmp"), 1u);
    }
    EXPECT_EQ(filesIn(dir_ / "tmp"), 0u);
    // A crash leaves its temporary file behind; the next start clears it away.
    std::ofstream(dir_ / "tmp" / "upload-left-over.part") << "half";
    ASSERT_TRUE(PhotoStore::open(dir_).ok());
    EXPECT_EQ(filesIn(dir_ / "tmp"), 0u);
    EXPECT_EQ(filesIn(dir_ / "photos"), 0u);
}

TEST_F(StorageTest, OnlyRealJpegsPassTheCheck) {
    auto jpeg = encodePatternJpeg(64, 48, 0x808080, 1, 90);
    ASSERT_TRUE(jpeg.ok());
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    };
    EXPECT_TRUE(isJpegFile(write("good.jpg", jpeg.value())));
    EXPECT_FALSE(isJpegFile(write("text.jpg", "hello, I am a text file\n")));
    EXPECT_FALSE(isJpegFile(write("soi-only.jpg", jpeg.value().substr(0, 2))));
    EXPECT_FALSE(isJpegFile(write("cut.jpg", jpeg.value().substr(0, 100))));
    EXPECT_FALSE(isJpegFile(write("empty.jpg", "")));
    EXPECT_FALSE(isJpegFile(dir_ / "missing.jpg"));
}

}  // namespace
}  // namespace orderd
