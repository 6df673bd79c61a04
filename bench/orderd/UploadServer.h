#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace benchorderd {

// A server taking photo uploads on a free loopback port, in a process of its own with a
// temporary directory that goes with it: proofshot-orderd with its demo data, or nginx
// writing each upload's body into a file and answering SUCCESS, the ceiling to compare with.
class UploadServer {
public:
    enum class Kind { Orderd, Nginx };

    // Null, with the reason in `failure`, when the server does not come up.
    static std::unique_ptr<UploadServer> start(Kind kind, std::string& failure);
    ~UploadServer();
    UploadServer(const UploadServer&) = delete;
    UploadServer& operator=(const UploadServer&) = delete;

    int port() const { return port_; }
    // The upload endpoint, with the photo's batch index as the app sends it.
    std::string uploadUrl() const;
    // The serving process's resident memory; 0 when it cannot be read.
    std::size_t residentBytes() const;
    // How many descriptors the serving process holds open; 0 when they cannot be listed.
    std::size_t openDescriptors() const;

private:
    UploadServer(Kind kind, std::filesystem::path directory);
    bool startOrderd(std::string& failure);
    bool startNginx(std::string& failure);

    Kind kind_;
    std::filesystem::path directory_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace benchorderd
