#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "platform/ui/PhotoAlbum.h"
#include "tests/ui/ImageTestFixtures.h"

namespace ui {
namespace {

using namespace ui::testing;
namespace fs = std::filesystem;

core::Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return core::Bytes(std::istreambuf_iterator<char>(in), {});
}

class PhotoAlbumTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "album-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        album_ = PhotoAlbum::create(root_ / "Pictures" / "Proofshot");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<fs::path> files() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(album_->folder())) {
            found.push_back(entry.path());
        }
        return found;
    }

    fs::path root_;
    std::shared_ptr<PhotoAlbum> album_;
};

TEST_F(PhotoAlbumTest, CameraJPEGIsWrittenAsItsOwnBytes) {
    const core::Bytes jpeg = withExifOrientation(jpegOf(quadrants(64, 48)), 6);
    auto path = album_->write(**Image::create(jpeg));
    ASSERT_TRUE(path) << path.error().description();
    EXPECT_EQ(path->parent_path(), album_->folder());
    EXPECT_EQ(path->extension(), ".jpg");
    EXPECT_EQ(readFile(*path), jpeg);
    EXPECT_EQ(files().size(), 1u) << "no temporary file is left behind";
}

TEST_F(PhotoAlbumTest, OtherPicturesAreEncodedFullSizeAndUpright) {
    auto turned =
        Image::create(**Image::create(jpegOf(quadrants(300, 200))), 2.0, ImageOrientation::Left);
    auto path = album_->write(*turned);
    ASSERT_TRUE(path);
    auto stored = *Image::create(readFile(*path));
    EXPECT_EQ(stored->orientation(), ImageOrientation::Up);
    EXPECT_EQ(stored->pixelWidth(), 200);
    EXPECT_EQ(stored->pixelHeight(), 300);
}

TEST_F(PhotoAlbumTest, NeverReplacesAFileThatIsThere) {
    // Squat on the first names of the next few seconds.
    fs::create_directories(album_->folder());
    std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t < now + 3; ++t) {
        char stamp[32];
        std::tm parts{};
        localtime_r(&t, &parts);
        std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &parts);
        std::ofstream(album_->folder() / (std::string("Proofshot_") + stamp + "_1.jpg")) << "mine";
    }
    auto path = album_->write(**Image::create(jpegOf(quadrants(8, 8))));
    ASSERT_TRUE(path);
    for (const auto& file : files()) {
        if (file != *path) {
            EXPECT_EQ(readFile(file), core::bytesFromString("mine")) << file;
        }
    }
    EXPECT_EQ(files().size(), 4u);
}

TEST_F(PhotoAlbumTest, ConcurrentWritersEachGetTheirOwnFile) {
    constexpr int kThreads = 4;
    constexpr int kEach = 8;
    std::vector<core::Bytes> pictures;
    for (int i = 0; i < kThreads * kEach; ++i) {
        pictures.push_back(jpegOf(quadrants(16 + i, 16)));
    }
    std::atomic<int> failures = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                failures += album_->write(**Image::create(pictures[t * kEach + i])) ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    std::set<core::Bytes> stored;
    for (const auto& file : files()) {
        stored.insert(readFile(file));
    }
    EXPECT_EQ(stored, std::set<core::Bytes>(pictures.begin(), pictures.end()));
}

TEST_F(PhotoAlbumTest, BackgroundWritesFinishAndReportTheirPath) {
    std::vector<fs::path> written;
    std::mutex mutex;
    for (int i = 0; i < 3; ++i) {
        album_->writeInBackground(*Image::create(jpegOf(quadrants(8, 8))),
                                  [&](const core::Expected<fs::path>& path) {
                                      std::lock_guard lock(mutex);
                                      written.push_back(path ? *path : fs::path());
                                  });
    }
    album_->waitForPendingWrites();
    std::lock_guard lock(mutex);
    ASSERT_EQ(written.size(), 3u);
    for (const auto& path : written) {
        EXPECT_TRUE(fs::exists(path)) << path;
    }
}

TEST_F(PhotoAlbumTest, UnwritableFolderGivesAnError) {
    std::ofstream(root_ / "file") << "x";
    auto blocked = PhotoAlbum::create(root_ / "file" / "Proofshot");
    auto path = blocked->write(**Image::create(jpegOf(quadrants(8, 8))));
    ASSERT_FALSE(path);
    EXPECT_NE(path.error().localizedDescription().find("album folder"), std::string::npos);
}

TEST_F(PhotoAlbumTest, DefaultFolderFollowsTheUsersPicturesFolder) {
    unsetenv("XDG_PICTURES_DIR");
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    EXPECT_EQ(PhotoAlbum::defaultFolder(), root_ / "Pictures" / "Proofshot");

    fs::create_directories(root_ / "config");
    std::ofstream(root_ / "config" / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(PhotoAlbum::defaultFolder(), root_ / "Bilder" / "Proofshot");

    setenv("XDG_PICTURES_DIR", "/srv/photos", 1);
    EXPECT_EQ(PhotoAlbum::defaultFolder(), fs::path("/srv/photos/Proofshot"));
    unsetenv("XDG_PICTURES_DIR");

    PhotoAlbum::setSavedPhotosFolder(root_ / "chosen");
    EXPECT_EQ(PhotoAlbum::savedPhotos()->folder(), root_ / "chosen");
}

}  // namespace
}  // namespace ui
