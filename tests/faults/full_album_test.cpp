#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/ui/Bitmap.h"
#include "platform/ui/JPEGEncoder.h"
#include "platform/ui/PhotoAlbum.h"

// The album on a disk that fills up: a file-size limit in a child process stands in for a
// full disk (no mount needed), and the album must refuse the picture, leave no partial file
// behind and keep what it had.
namespace {

constexpr rlim_t kDiskRoom = 16 * 1024;

ui::ImagePtr picture(int width, int height) {
    auto bitmap = std::make_shared<ui::Bitmap>(width, height, ui::PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = bitmap->row(y) + 3 * x;
            px[0] = static_cast<std::uint8_t>(x * 31 + y);
            px[1] = static_cast<std::uint8_t>(y * 17 ^ x);
            px[2] = static_cast<std::uint8_t>(x * y);
        }
    }
    return *ui::Image::create(*ui::JPEGEncoder::encode(*bitmap, 95));
}

// In a child limited to kDiskRoom bytes per file: the error codes of writing each picture
// (0 for a stored one), or nothing when the child could not report.
std::optional<std::array<int, 2>> writeOnFullDisk(const std::filesystem::path& folder,
                                                  const ui::Image& large, const ui::Image& small) {
    int report[2];
    if (::pipe(report) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        // Past the limit a write fails with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kDiskRoom, kDiskRoom};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto album = ui::PhotoAlbum::create(folder);
        std::array<int, 2> codes{};
        const ui::Image* pictures[] = {&large, &small};
        for (std::size_t i = 0; i < codes.size(); ++i) {
            auto written = album->write(*pictures[i]);
            codes[i] = written ? 0 : (written.error().code() != 0 ? written.error().code() : -1);
        }
        const bool sent = ::write(report[1], codes.data(), sizeof codes) == sizeof codes;
        ::_exit(sent ? 0 : 1);
    }
    ::close(report[1]);
    std::array<int, 2> codes{};
    const bool got = child > 0 && ::read(report[0], codes.data(), sizeof codes) == sizeof codes;
    ::close(report[0]);
    int status = 0;
    if (child > 0) {
        ::waitpid(child, &status, 0);
    }
    return got ? std::optional(codes) : std::nullopt;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FullAlbumDisk, APictureThatDoesNotFitFailsLeavesNoPartialFileAndKeepsTheOthers) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("proofshot-full-album-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    auto album = ui::PhotoAlbum::create(folder);
    const auto earlier = picture(64, 48);
    ASSERT_TRUE(album->write(*earlier));
    const auto before = filesIn(folder);

    const auto large = picture(640, 480);
    const auto small = picture(32, 24);
    ASSERT_GT(ui::JPEGRepresentation(*large, 1.0)->size(), kDiskRoom);
    ASSERT_LT(ui::JPEGRepresentation(*small, 1.0)->size(), kDiskRoom);
    const auto codes = writeOnFullDisk(folder, *large, *small);
    ASSERT_TRUE(codes) << "the child did not report";
    EXPECT_EQ((*codes)[0], EFBIG) << "the picture that does not fit is refused";
    EXPECT_EQ((*codes)[1], 0) << "one that fits is still stored";

    const auto after = filesIn(folder);
    ASSERT_EQ(after.size(), before.size() + 1) << "no partial or temporary file is left";
    for (const auto& name : after) {
        EXPECT_FALSE(name.starts_with(".")) << name;
        auto stored = ui::Image::create([&] {
            std::ifstream in(folder / name, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), {});
            return core::Bytes(bytes.begin(), bytes.end());
        }());
        EXPECT_TRUE(stored) << name << " is a whole picture";
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
