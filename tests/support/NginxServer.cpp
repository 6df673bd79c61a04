#include "tests/support/NginxServer.h"

#include "tests/support/LoopbackPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace test {

namespace {

namespace fs = std::filesystem;

// An apr1 hash of the password, as htpasswd files hold them, from the openssl tool.
std::string apr1Hash(const std::string& password) {
    const std::string command = "openssl passwd -apr1 '" + password + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::array<char, 256> line{};
    std::string hash;
    if (std::fgets(line.data(), line.size(), pipe) != nullptr) {
        hash = line.data();
    }
    ::pclose(pipe);
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) {
        hash.pop_back();
    }
    return hash;
}

void writeText(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<long>(text.size()));
}

}  // namespace

NginxServer::~NginxServer() {
    stop();
    if (!directory_.empty()) {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
}

bool NginxServer::isAvailable() {
    return ::access(kBinary, X_OK) == 0;
}

namespace {

// @DIR@, @ROOT@ and @PORT@ are filled in by writeConfiguration().
constexpr const char* kConfiguration = R"(daemon off;
master_process off;
worker_processes 1;
pid @DIR@/nginx.pid;
error_log @DIR@/error.log warn;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path @DIR@/temp/body;
  proxy_temp_path @DIR@/temp/proxy;
  fastcgi_temp_path @DIR@/temp/fastcgi;
  uwsgi_temp_path @DIR@/temp/uwsgi;
  scgi_temp_path @DIR@/temp/scgi;
  include /etc/nginx/mime.types;
  types { application/x-plist plist; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:@PORT@;
    root @ROOT@;
    location /norange/ { alias @ROOT@/; max_ranges 0; }
    location /slow/ { alias @ROOT@/; limit_rate 2m; }
    location /slow-norange/ { alias @ROOT@/; limit_rate 2m; max_ranges 0; }
    location /private/ { auth_basic "Proofshot"; auth_basic_user_file @DIR@/htpasswd; }
    location = /moved { return 302 /files/target.txt; }
  }
}
)";

void replaceAll(std::string& text, std::string_view placeholder, const std::string& value) {
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

}  // namespace

bool NginxServer::writeConfiguration(const std::string& user, const std::string& password) {
    const std::string hash = apr1Hash(password);
    if (hash.empty()) {
        failure_ = "openssl passwd gave no hash";
        return false;
    }
    const fs::path dir = directory_;
    writeText(dir / "htpasswd", user + ":" + hash + "\n");
    fs::create_directories(dir / "root");
    fs::create_directories(dir / "temp");
    std::string conf = kConfiguration;
    replaceAll(conf, "@DIR@", directory_);
    replaceAll(conf, "@ROOT@", (dir / "root").string());
    replaceAll(conf, "@PORT@", std::to_string(port_));
    writeText(dir / "nginx.conf", conf);
    return true;
}

bool NginxServer::start(const std::string& user, const std::string& password) {
    char pattern[] = "/tmp/proofshot-nginx-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        failure_ = "cannot make a temporary directory";
        return false;
    }
    directory_ = pattern;
    port_ = freeLoopbackPort();
    if (port_ == 0 || !writeConfiguration(user, password)) {
        failure_ = failure_.empty() ? "no free loopback port" : failure_;
        return false;
    }
    const std::string conf = directory_ + "/nginx.conf";
    const std::string errorLog = directory_ + "/error.log";
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execl(kBinary, kBinary, "-p", directory_.c_str(), "-c", conf.c_str(), "-e",
                errorLog.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return waitUntilListening();
}

// Bounded: nginx answers within milliseconds, or has failed and exited.
bool NginxServer::waitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (acceptsConnections(port_)) {
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            std::ifstream log(directory_ + "/error.log");
            failure_ = "nginx exited: " + std::string(std::istreambuf_iterator<char>(log), {});
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    failure_ = "nginx did not answer on port " + std::to_string(port_);
    return false;
}

void NginxServer::stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

void NginxServer::writeFile(std::string_view relativePath, std::string_view contents) const {
    writeText(fs::path(directory_) / "root" / relativePath, contents);
}

void NginxServer::writeSparseFile(std::string_view relativePath, std::uintmax_t size) const {
    const fs::path path = fs::path(directory_) / "root" / relativePath;
    writeText(path, "");
    fs::resize_file(path, size);
}

std::string NginxServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace test
