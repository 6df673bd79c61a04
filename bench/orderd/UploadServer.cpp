#include "bench/orderd/UploadServer.h"

#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>
#include <vector>

namespace benchorderd {
namespace {

using test::acceptsConnections;
using test::freeLoopbackPort;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr auto kStartDeadline = std::chrono::seconds(20);

// One worker process that is also the only process, so its memory is the server's memory.
// The upload location reads the whole body into a file of its own, then asks the second
// server for the answer without passing the body on; the file is removed after the answer.
constexpr const char* kNginxConfiguration = R"(daemon off;
master_process off;
worker_processes 1;
pid @DIR@/nginx.pid;
error_log @DIR@/error.log warn;
events { worker_connections 2048; }
http {
  access_log off;
  client_body_temp_path @DIR@/body;
  proxy_temp_path @DIR@/proxy;
  fastcgi_temp_path @DIR@/fastcgi;
  uwsgi_temp_path @DIR@/uwsgi;
  scgi_temp_path @DIR@/scgi;
  upstream answer { server 127.0.0.1:@ANSWER_PORT@; keepalive 64; }
  server {
    listen 127.0.0.1:@PORT@;
    client_max_body_size 20m;
    location = /ipad/uploadPicPhotos.php {
      client_body_in_file_only clean;
      proxy_pass http://answer/answer;
      proxy_pass_request_body off;
      proxy_set_header Content-Length "";
      proxy_http_version 1.1;
      proxy_set_header Connection "";
    }
  }
  server {
    listen 127.0.0.1:@ANSWER_PORT@;
    location = /answer { return 200 "SUCCESS"; }
  }
}
)";

pid_t spawn(std::vector<std::string> arguments, int output) {
    std::vector<char*> list;
    for (auto& argument : arguments) {
        list.push_back(argument.data());
    }
    list.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
        }
        ::execv(list[0], list.data());
        ::_exit(127);
    }
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line the service prints names the port it listens on.
int readListeningPort(int fd) {
    std::string text;
    const auto deadline = Clock::now() + kStartDeadline;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)"))) {
        return 0;
    }
    return std::stoi(match.str(1));
}

void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

}  // namespace

UploadServer::UploadServer(Kind kind, fs::path directory)
    : kind_(kind), directory_(std::move(directory)) {}

std::unique_ptr<UploadServer> UploadServer::start(Kind kind, std::string& failure) {
    static int counter = 0;
    auto directory =
        fs::temp_directory_path() /
        ("proofshot-bench-uploads-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::error_code error;
    fs::create_directories(directory, error);
    std::unique_ptr<UploadServer> server(new UploadServer(kind, directory));
    if (error) {
        failure = "cannot make " + directory.string() + ": " + error.message();
        return nullptr;
    }
    const bool started =
        kind == Kind::Orderd ? server->startOrderd(failure) : server->startNginx(failure);
    return started ? std::move(server) : nullptr;
}

bool UploadServer::startOrderd(std::string& failure) {
    const pid_t seeding = spawn({ORDERD_BINARY, "seed", "--demo", "--data", directory_}, -1);
    if (seeding < 0 || exitStatus(seeding) != 0) {
        failure = "proofshot-orderd seed --demo failed";
        return false;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        failure = "no pipe";
        return false;
    }
    pid_ = spawn({ORDERD_BINARY, "serve", "--data", directory_, "--listen", "127.0.0.1:0",
                  "--max-connections", "2048", "--access-log", directory_ / "access.log"},
                 pipeFds[1]);
    ::close(pipeFds[1]);
    port_ = readListeningPort(pipeFds[0]);
    ::close(pipeFds[0]);
    if (port_ == 0) {
        failure = "proofshot-orderd did not say where it listens";
        return false;
    }
    return true;
}

bool UploadServer::startNginx(std::string& failure) {
    if (::access(kNginx, X_OK) != 0) {
        failure = "nginx is not installed (Debian package nginx-light)";
        return false;
    }
    port_ = freeLoopbackPort();
    std::string configuration = kNginxConfiguration;
    replaceAll(configuration, "@DIR@", directory_);
    replaceAll(configuration, "@PORT@", std::to_string(port_));
    replaceAll(configuration, "@ANSWER_PORT@", std::to_string(freeLoopbackPort()));
    std::ofstream(directory_ / "nginx.conf") << configuration;
    pid_ = spawn({kNginx, "-p", directory_.string(), "-e", (directory_ / "error.log").string(),
                  "-c", (directory_ / "nginx.conf").string()},
                 -1);
    const auto deadline = Clock::now() + kStartDeadline;
    while (!acceptsConnections(port_)) {
        int status = 0;
        if (Clock::now() > deadline || ::waitpid(pid_, &status, WNOHANG) == pid_) {
            failure = "nginx did not start; see its error.log";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

UploadServer::~UploadServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        exitStatus(pid_);
    }
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
}

std::string UploadServer::uploadUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/ipad/uploadPicPhotos.php?order=0";
}

std::size_t UploadServer::residentBytes() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string key;
    std::size_t kilobytes = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> kilobytes) {
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

std::size_t UploadServer::openDescriptors() const {
    std::error_code error;
    fs::directory_iterator entries("/proc/" + std::to_string(pid_) + "/fd", error);
    if (error) {
        return 0;
    }
    return static_cast<std::size_t>(std::distance(entries, fs::directory_iterator()));
}

}  // namespace benchorderd
