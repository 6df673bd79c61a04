#pragma once

#include <string>
#include <vector>

namespace benchorderd {

// What a run of uploads gave: each answered upload's time from its start to its answer, and
// the first failure (a transfer error or a status other than 200), if any.
struct UploadRun {
    std::vector<double> latenciesMicros;
    int failures = 0;
    std::string firstFailure;
};

// Clients that each post the same body over and over on a connection of their own, all at
// once, driven by one libcurl multi handle. The connections stay open between runs.
class UploadDriver {
public:
    UploadDriver(std::string url, std::string contentType, std::string body, int clients);
    ~UploadDriver();
    UploadDriver(const UploadDriver&) = delete;
    UploadDriver& operator=(const UploadDriver&) = delete;

    // Posts `uploads` bodies in all, every client starting its next as soon as its last is
    // answered. Gives up on a client that has waited more than a minute.
    UploadRun run(int uploads);

private:
    struct Client;

    void startUpload(Client& client);
    void finishUpload(Client& client, int curlResult, UploadRun& run);

    std::string url_;
    std::string body_;
    void* headers_ = nullptr;  // curl_slist
    void* multi_ = nullptr;    // CURLM
    std::vector<Client> clients_;
};

}  // namespace benchorderd
