#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "orderd/Database.h"
#include "tests/orderd/UploadLoad.h"

extern char** environ;

namespace orderd::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ServerProcess {
public:
    explicit ServerProcess(const fs::path& dataDir) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        auto errors = (dataDir / "server-stderr.log").string();
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        std::vector<std::string> args{
            ORDERD_BINARY, "serve",       "--data",       dataDir.string(),
            "--listen",    "127.0.0.1:0", "--access-log", (dataDir / "access.log").string()};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ORDERD_BINARY, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        port_ = readPort(out[0]);
        ::close(out[0]);
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            stop(SIGKILL);
        }
    }

    std::uint16_t port() const { return port_; }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Returns the exit status as waitpid reports it.
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    static std::uint16_t readPort(int fd) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + 20s;
        char c = 0;
        while (line.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                if (::read(fd, &c, 1) != 1) {
                    break;
                }
                line.push_back(c);
            }
        }
        auto colon = line.rfind(':');
        return colon == std::string::npos
                   ? 0
                   : static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
    }

    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

int runToCompletion(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid, ORDERD_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (rc == 0) {
        ::waitpid(pid, &status, 0);
    }
    return status;
}

std::size_t filesIn(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

TEST(OrderServiceCrashTest, KilledMidwayKeepsEveryAcknowledgedPhotoAndNoPartialOne) {
    loadPhotos();
    TempDir dir;
    ASSERT_EQ(runToCompletion({ORDERD_BINARY, "seed", "--data", dir.path().string(), "--demo"}), 0);
    Fields demo{
        {"username", "demo"}, {"password", "demo1234"}, {"order", "1001"}, {"location", "0"}};
    std::set<int> acknowledged;
    std::atomic<int> count{0};
    {
        ServerProcess server(dir.path());
        ASSERT_NE(server.port(), 0);
        std::thread load([&] { uploadConcurrently(server.baseUrl(), demo, acknowledged, count); });
        bool midway = eventually([&] { return count >= 60; }, 60s);
        int status = server.stop(SIGKILL);
        load.join();
        ASSERT_TRUE(midway) << "only " << count << " uploads acknowledged";
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_LT(acknowledged.size(), static_cast<std::size_t>(kUploads)) << "killed too late";
    }
    {
        ServerProcess restarted(dir.path());
        ASSERT_NE(restarted.port(), 0);
        EXPECT_EQ(postForm(restarted.baseUrl() + "/ipad/loginVer2.php",
                           {{"username", "demo"}, {"password", "demo1234"}})
                      .body,
                  "SUCCESS");
        int status = restarted.stop(SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    expectStored(dir.path(), acknowledged);
    EXPECT_EQ(filesIn(dir.path() / "tmp"), 0u);
    std::set<std::string> sent;
    for (const auto& photo : loadPhotos()) {
        sent.insert(sha256Hex(photo));
    }
    // Whatever is on disk is whole; under photos/ only what the table knows of.
    auto db = Database::open(dir.path() / "orderd.sqlite");
    ASSERT_TRUE(db.ok());
    for (const char* folder : {"photos", "unrecorded"}) {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path() / folder, ec)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            EXPECT_TRUE(sent.count(sha256Hex(readFile(entry.path()))))
                << "partial " << entry.path();
            if (std::string(folder) == "photos") {
                EXPECT_TRUE(db.value()->hasUploadAt(entry.path().lexically_relative(dir.path())))
                    << entry.path();
            }
        }
    }
}

}  // namespace
}  // namespace orderd::test
