#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orderd {

struct ServerOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 8080;  // 0 picks a free port
    // PEM text; TLS is on when both are set.
    std::string certificatePem;
    std::string keyPem;
    std::size_t maxUploadBytes = 20 * 1024 * 1024;
    std::size_t maxFormBytes = 8 * 1024;
    std::size_t maxHeaderBytes = 16 * 1024;
    unsigned maxConnections = 256;
    unsigned idleTimeoutSeconds = 15;
    // A client that trickles its body never goes idle; this bounds the whole request.
    unsigned requestTimeoutSeconds = 300;
    unsigned workerThreads = 4;
};

}  // namespace orderd
