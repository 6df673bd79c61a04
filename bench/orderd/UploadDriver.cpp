#include "bench/orderd/UploadDriver.h"

#include <curl/curl.h>

#include <chrono>

namespace benchorderd {

using Clock = std::chrono::steady_clock;

struct UploadDriver::Client {
    CURL* handle = nullptr;
    Clock::time_point started;
    bool busy = false;
};

namespace {

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

}  // namespace

UploadDriver::UploadDriver(std::string url, std::string contentType, std::string body, int clients)
    : url_(std::move(url)), body_(std::move(body)), clients_(static_cast<std::size_t>(clients)) {
    const std::string header = "Content-Type: " + contentType;
    headers_ = curl_slist_append(nullptr, header.c_str());
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(clients));
    for (auto& client : clients_) {
        client.handle = curl_easy_init();
        curl_easy_setopt(client.handle, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(client.handle, CURLOPT_POSTFIELDS, body_.data());
        curl_easy_setopt(client.handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body_.size()));
        curl_easy_setopt(client.handle, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(client.handle, CURLOPT_WRITEFUNCTION, discard);
        curl_easy_setopt(client.handle, CURLOPT_TIMEOUT, 60L);
        curl_easy_setopt(client.handle, CURLOPT_PRIVATE, &client);
    }
}

UploadDriver::~UploadDriver() {
    for (auto& client : clients_) {
        if (client.busy) {
            curl_multi_remove_handle(multi_, client.handle);
        }
        curl_easy_cleanup(client.handle);
    }
    curl_multi_cleanup(multi_);
    curl_slist_free_all(static_cast<curl_slist*>(headers_));
}

void UploadDriver::startUpload(Client& client) {
    client.started = Clock::now();
    client.busy = true;
    curl_multi_add_handle(multi_, client.handle);
}

void UploadDriver::finishUpload(Client& client, int curlResult, UploadRun& run) {
    client.busy = false;
    curl_multi_remove_handle(multi_, client.handle);
    long status = 0;
    curl_easy_getinfo(client.handle, CURLINFO_RESPONSE_CODE, &status);
    if (curlResult == CURLE_OK && status == 200) {
        run.latenciesMicros.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - client.started).count());
        return;
    }
    if (run.failures++ == 0) {
        run.firstFailure = curlResult != CURLE_OK
                               ? curl_easy_strerror(static_cast<CURLcode>(curlResult))
                               : "answered " + std::to_string(status);
    }
}

UploadRun UploadDriver::run(int uploads) {
    UploadRun result;
    int started = 0;
    for (auto& client : clients_) {
        if (started == uploads) {
            break;
        }
        startUpload(client);
        ++started;
    }
    int running = started;
    while (running > 0) {
        int stillRunning = 0;
        curl_multi_perform(multi_, &stillRunning);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            Client* client = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &client);
            finishUpload(*client, message->data.result, result);
            --running;
            if (started < uploads) {
                startUpload(*client);
                ++started;
                ++running;
            }
        }
        if (running > 0) {
            curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
    }
    return result;
}

}  // namespace benchorderd
