#pragma once

#include <filesystem>
#include <string>

namespace orderd {

// What the service answers to one request, independent of the HTTP library.
struct Reply {
    unsigned status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    // When set, the answer is this file's content instead of `body`.
    std::filesystem::path file;

    static Reply text(unsigned status, std::string body) {
        Reply reply;
        reply.status = status;
        reply.body = std::move(body);
        return reply;
    }
};

}  // namespace orderd
