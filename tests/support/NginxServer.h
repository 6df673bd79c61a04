#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>
#include <string_view>

namespace test {

// Debian's nginx on a free loopback port, for tests against a real server. Everything lives
// in a temporary directory removed at the end: the configuration, the document root, logs
// and an htpasswd file. Files go out with the content types of Debian's /etc/nginx/mime.types,
// and ".plist" as application/x-plist. Locations:
//   /                 files of the document root, byte ranges honoured
//   /norange/         the same files, ranges ignored (always 200 with the whole file)
//   /slow/, /slow-norange/   the same two, sent at 2 MB/s, so a test can act part-way
//   /private/         Basic authentication for the user and password given to start()
//   /moved            302 to /files/target.txt
// The server is stopped (and only it) in the destructor.
class NginxServer {
public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";

    NginxServer() = default;
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Whether the nginx binary is installed.
    static bool isAvailable();

    // Writes the configuration and starts nginx; returns false, with the reason in
    // failure(), when it does not answer within a few seconds.
    bool start(const std::string& user, const std::string& password);
    void stop();

    // Writes a file below the document root (directories are made as needed).
    void writeFile(std::string_view relativePath, std::string_view contents) const;
    // A file of `size` zero bytes that takes no disk space, for large downloads.
    void writeSparseFile(std::string_view relativePath, std::uintmax_t size) const;

    int port() const { return port_; }
    std::string url(std::string_view path) const;
    const std::string& failure() const { return failure_; }

private:
    bool writeConfiguration(const std::string& user, const std::string& password);
    bool waitUntilListening();

    std::string directory_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string failure_;
};

}  // namespace test
