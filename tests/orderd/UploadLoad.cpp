#include "tests/orderd/UploadLoad.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <thread>

#include "orderd/Database.h"

namespace orderd::test {
namespace {

// One client: a curl handle kept across its uploads, as a phone would keep its connection.
class UploadClient {
public:
    UploadClient() : curl_(curl_easy_init()) {}
    ~UploadClient() { curl_easy_cleanup(curl_); }

    long upload(const std::string& baseUrl, int index, const Fields& fields) {
        std::string url = baseUrl + "/ipad/uploadPicPhotos.php?order=" + std::to_string(index);
        std::string body = appUploadBody(fields, loadPhotos()[static_cast<std::size_t>(index)]);
        return postBody(curl_, url, appContentType(), body).status;
    }

private:
    CURL* curl_;
};

}  // namespace

const std::vector<std::string>& loadPhotos() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> out;
        for (int i = 0; i < kUploads; ++i) {
            out.push_back(jpegOfSize(static_cast<std::uint32_t>(1000 + i), kPhotoBytes));
        }
        return out;
    }();
    return all;
}

void uploadConcurrently(const std::string& baseUrl, const Fields& fields,
                        std::set<int>& acknowledged, std::atomic<int>& acknowledgedCount) {
    std::atomic<int> next{0};
    std::mutex mutex;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            UploadClient client;
            for (int i = next++; i < kUploads; i = next++) {
                if (client.upload(baseUrl, i, fields) != 200) {
                    return;
                }
                std::lock_guard lock(mutex);
                acknowledged.insert(i);
                ++acknowledgedCount;
            }
        });
    }
    for (auto& client : clients) {
        client.join();
    }
}

void expectStored(const std::filesystem::path& dataDir, const std::set<int>& acknowledged) {
    auto db = Database::open(dataDir / "orderd.sqlite");
    ASSERT_TRUE(db.ok());
    std::map<std::uint32_t, UploadRecord> byIndex;
    for (auto& record : db.value()->uploads("1001")) {
        EXPECT_TRUE(byIndex.emplace(record.batchIndex, record).second) << record.batchIndex;
    }
    for (int i : acknowledged) {
        auto it = byIndex.find(static_cast<std::uint32_t>(i));
        ASSERT_NE(it, byIndex.end()) << "acknowledged upload " << i << " has no record";
        std::string sent = sha256Hex(loadPhotos()[static_cast<std::size_t>(i)]);
        EXPECT_EQ(it->second.sha256, sent) << i;
        EXPECT_EQ(it->second.size, kPhotoBytes) << i;
        EXPECT_EQ(sha256Hex(readFile(dataDir / it->second.storedPath)), sent) << i;
    }
}

}  // namespace orderd::test
