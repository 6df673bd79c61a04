#include "platform/core/Log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace {

std::string linePattern(const std::string& message) {
    return R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} )" +
           std::string(program_invocation_short_name) + R"(\[)" + std::to_string(::getpid()) + ":" +
           std::to_string(::syscall(SYS_gettid)) + R"(\] )" + message + "$";
}

}  // namespace

TEST(Log, LinesHaveTheTimeStampProcessAndThreadPrefixAndTheWholeMessage) {
    core::Log::Capture capture;
    core::log("Pressed Done");
    core::logf("Button clicked: %i", 2);
    core::logf("response: [%s]\n", "SUCCESS,1");  // a final line end is not doubled
    const std::string big(10'000, 'z');
    core::logf("[HTTPClient Error]: %s", big.c_str());  // long messages are not cut
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(linePattern("Pressed Done")))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(linePattern("Button clicked: 2"))))
        << lines[1];
    EXPECT_EQ(capture.messages(),
              (std::vector<std::string>{"Pressed Done", "Button clicked: 2",
                                        "response: [SUCCESS,1]", "[HTTPClient Error]: " + big}));
    EXPECT_TRUE(capture.contains("Button clicked: 2"));
    EXPECT_FALSE(capture.contains("Button clicked"));
}

TEST(Log, WithoutASinkLinesGoToStandardErrorEachWithOneLineEnd) {
    std::string path = ::testing::TempDir() + "log_stderr_" + std::to_string(::getpid());
    int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    int saved = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    core::log("Executing finishAndUpdate");
    core::log("Done with Camera");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);

    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    auto end = text.find('\n');
    ASSERT_NE(end, std::string::npos);
    EXPECT_TRUE(std::regex_match(text.substr(0, end),
                                 std::regex(linePattern("Executing finishAndUpdate"))));
    EXPECT_EQ(text.substr(text.size() - 17), "Done with Camera\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}
