#include "orderd/CommandLine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "orderd/Jpeg.h"
#include "orderd/OrderService.h"
#include "tests/orderd/TempDir.h"

namespace orderd {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public ::testing::Test {
protected:
    int run(std::vector<std::string> args, const std::string& input = "") {
        std::istringstream in(input);
        out_.str("");
        err_.str("");
        return CommandLine::run(args, in, out_, err_);
    }
    std::string data() const { return dir_.string(); }

    test::TempDir temp_;
    const fs::path& dir_ = temp_.path();
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CommandLineTest, EveryCommandExplainsItself) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                          {"serve", "--help"},
                                          {"user", "add", "--help"},
                                          {"order", "add", "--help"},
                                          {"uploads", "--help"},
                                          {"seed", "--help"}}) {
        EXPECT_EQ(run(args), 0) << args[0];
        EXPECT_NE(out_.str().find("usage: proofshot-orderd"), std::string::npos) << args[0];
    }
    EXPECT_EQ(run({"launch"}), 2);
    EXPECT_NE(err_.str().find("unknown command 'launch'"), std::string::npos);
    EXPECT_EQ(run({"uploads", "--order", "1001"}), 2);
    EXPECT_NE(err_.str().find("--data DIR is required"), std::string::npos);
    EXPECT_EQ(run({"serve", "--data", data(), "--listen", "127.0.0.1"}), 2);
    EXPECT_EQ(run({"serve", "--data", data(), "--cert", "c.pem"}), 2);
    EXPECT_EQ(run({"seed", "--data", data(), "--bogus"}), 2);
}

TEST_F(CommandLineTest, UsersAreAddedWithAHashedPasswordFromStandardInput) {
    EXPECT_EQ(run({"user", "add", "--data", data(), "--username", "sam"}, "long-enough-pw\n"), 0);
    EXPECT_EQ(run({"user", "add", "--data", data(), "--username", "sam"}, "long-enough-pw\n"), 1);
    EXPECT_NE(err_.str().find("already exists"), std::string::npos);
    EXPECT_EQ(run({"user", "add", "--data", data(), "--username", "kim"}, "short\n"), 1);
    EXPECT_EQ(run({"user", "add", "--data", data(), "--username", "../kim"}, "long-enough-pw\n"),
              2);
    auto service = OrderService::open(dir_);
    ASSERT_TRUE(service.ok());
    auto hash = service.value()->database().passwordHash("sam");
    ASSERT_TRUE(hash);
    EXPECT_EQ(hash->find("long-enough-pw"), std::string::npos);
    EXPECT_FALSE(service.value()->database().passwordHash("kim"));
}

TEST_F(CommandLineTest, OrdersWhoseDetailsWouldBreakTheAnswerAreRefused) {
    auto picture = dir_ / "sofa-source.jpg";
    std::ofstream(picture, std::ios::binary) << encodePatternJpeg(32, 32, 0x884422, 3, 80).value();
    std::vector<std::string> base{"order",   "add",  "--data",  data(),  "--number", "2001",
                                  "--line1", "Sofa", "--line2", "Green", "--line3",  "Deliver"};
    auto with = [&](std::vector<std::string> extra) {
        auto args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    EXPECT_EQ(run(with({"--stock", "sofa.jpg", "--line1", "Sofa, green"})), 2);
    EXPECT_NE(err_.str().find("commas"), std::string::npos);
    EXPECT_EQ(run(with({"--stock", "so fa.jpg"})), 2);
    EXPECT_EQ(run(with({"--stock", "sofa.jpg", "--number", "../2001"})), 2);
    EXPECT_EQ(run(with({"--stock", "sofa.jpg", "--picture", (dir_ / "missing.jpg").string()})), 1);
    EXPECT_EQ(run(with({"--stock", "sofa.jpg", "--picture", picture.string()})), 0) << err_.str();
    EXPECT_EQ(run(with({"--stock", "sofa.jpg"})), 1);  // the number is taken
    auto service = OrderService::open(dir_);
    auto order = service.value()->database().findOrder("2001");
    ASSERT_TRUE(order);
    EXPECT_EQ(order->stockImage, "sofa.jpg");
    EXPECT_TRUE(isJpegFile(OrderService::stockFolder(dir_) / "sofa.jpg"));
}

TEST_F(CommandLineTest, SeedingTwiceLeavesOneSetOfDemoData) {
    ASSERT_EQ(run({"seed", "--data", data(), "--demo"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("demo1234"), std::string::npos);
    ASSERT_EQ(run({"seed", "--data", data(), "--demo"}), 0) << err_.str();
    auto service = OrderService::open(dir_);
    ASSERT_TRUE(service.ok());
    auto& db = service.value()->database();
    for (const char* number : {"1001", "1002", "1003", "1004", "1005"}) {
        auto order = db.findOrder(number);
        ASSERT_TRUE(order) << number;
        EXPECT_TRUE(isJpegFile(OrderService::stockFolder(dir_) / order->stockImage)) << number;
    }
    EXPECT_EQ(test::filesIn(OrderService::stockFolder(dir_)), 5u);
}

TEST_F(CommandLineTest, UploadsListsWhatArrivedWithSizeAndHash) {
    ASSERT_EQ(run({"seed", "--data", data(), "--demo"}), 0);
    {
        auto service = OrderService::open(dir_);
        ASSERT_TRUE(service.value()
                        ->database()
                        .addUpload({0, "1003", Location::After, 2, "demo", "2026-01-02T03:04:05Z",
                                    1234, std::string(64, 'a'), "photos/1003/after/x.jpg"})
                        .ok());
    }
    ASSERT_EQ(run({"uploads", "--data", data(), "--order", "1003"}), 0);
    EXPECT_NE(out_.str().find("\tafter\t2\tdemo\t1234\t" + std::string(64, 'a') +
                              "\tphotos/1003/after/x.jpg\n"),
              std::string::npos)
        << out_.str();
    ASSERT_EQ(run({"uploads", "--data", data(), "--order", "1004"}), 0);
    EXPECT_NE(err_.str().find("0 upload(s)"), std::string::npos);
}

TEST_F(CommandLineTest, OnlyTheServingProcessTidiesUpAndOnlyOneMayServe) {
    ASSERT_EQ(run({"seed", "--data", data(), "--demo"}), 0);
    auto stray = dir_ / "photos" / "1001" / "before" / "20260101T000000Z-0-aa.jpg";
    fs::create_directories(stray.parent_path());
    std::ofstream(stray) << "whole but unrecorded";
    auto incoming = dir_ / "tmp" / "upload-in-progress.part";
    std::ofstream(incoming) << "half";
    // Commands that run beside a live server must not touch what it is receiving.
    ASSERT_EQ(run({"uploads", "--data", data(), "--order", "1001"}), 0);
    EXPECT_TRUE(fs::exists(stray));
    EXPECT_TRUE(fs::exists(incoming));

    auto serving = OrderService::open(dir_, OpenMode::Serve);
    ASSERT_TRUE(serving.ok());
    EXPECT_EQ(serving.value()->unrecordedPhotosMoved(), 1u);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_TRUE(fs::exists(dir_ / "unrecorded" / "1001" / "before" / stray.filename()));
    EXPECT_FALSE(fs::exists(incoming));

    auto second = OrderService::open(dir_, OpenMode::Serve);
    ASSERT_FALSE(second.ok());
    EXPECT_NE(second.error().message.find("another proofshot-orderd"), std::string::npos);
    EXPECT_TRUE(OrderService::open(dir_).ok());
    serving.value().reset();
    EXPECT_TRUE(OrderService::open(dir_, OpenMode::Serve).ok());
}

}  // namespace
}  // namespace orderd
