#include <curl/curl.h>
#include <gtest/gtest.h>

#include <thread>

#include "orderd/Database.h"
#include "tests/orderd/OrderdTestSupport.h"

namespace orderd::test {
namespace {

using namespace std::chrono_literals;

Answer uploadTo(TestServer& server, const std::string& body,
                const std::string& query = "?order=0") {
    return postBody(server.baseUrl() + "/ipad/uploadPicPhotos.php" + query, appContentType(), body);
}

// The head of an upload of `length` bytes, for a client that sends it by hand.
std::string uploadHead(std::size_t length, const std::string& query = "?order=0") {
    return "POST /ipad/uploadPicPhotos.php" + query +
           " HTTP/1.1\r\nHost: t\r\nContent-Type: " + appContentType() +
           "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

class OrderServiceHttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new TestServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    static std::string url(const std::string& path) { return server_->baseUrl() + path; }
    static Answer upload(const std::string& body, const std::string& query = "?order=0") {
        return uploadTo(*server_, body, query);
    }

    static TestServer* server_;
};

TestServer* OrderServiceHttpTest::server_ = nullptr;

TEST_F(OrderServiceHttpTest, LoginSaysSuccessOnlyForTheRightPassword) {
    struct Case {
        Fields fields;
        const char* body;
    } cases[] = {
        {{{"username", kUser}, {"password", kPassword}}, "SUCCESS"},
        {{{"username", kUser}, {"password", "correct-horse-8"}}, "INVALID"},
        {{{"username", "nobody"}, {"password", kPassword}}, "INVALID"},
        {{{"username", kUser}}, "INVALID"},
        {{{"username", kUser}, {"password", kPassword}, {"password", kPassword}}, "INVALID"},
    };
    for (const auto& c : cases) {
        auto answer = postForm(url("/ipad/loginVer2.php"), c.fields);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, c.body) << c.fields.size() << " fields";
    }
    // A remembered good password must not make a wrong one pass.
    auto again = postForm(url("/ipad/loginVer2.php"), {{"username", kUser}, {"password", "x"}});
    EXPECT_EQ(again.body, "INVALID");
}

TEST_F(OrderServiceHttpTest, OrderDetailsAnswerInTheCommaSeparatedForm) {
    auto ask = [](const std::string& order, const std::string& password) {
        return postForm(url("/ipad/getOrderDetails.php"),
                        {{"username", kUser}, {"password", password}, {"order", order}});
    };
    auto found = ask("1001", kPassword);
    EXPECT_EQ(found.status, 200);
    EXPECT_EQ(found.body,
              "SUCCESS,Oak worktop 3.2 m,Harlow - 12 Mill Lane,Fit on Tuesday,worktop.jpg");
    EXPECT_EQ(ask("4242", kPassword).body, "NOTFOUND");
    EXPECT_EQ(ask("../1001", kPassword).body, "NOTFOUND");
    EXPECT_EQ(ask("1001", "wrong-password").body, "INVALID");
}

TEST_F(OrderServiceHttpTest, StockPicturesAreServedFromTheStockFolderOnly) {
    auto picture = get(url("/trelmostockimages/worktop.jpg"));
    EXPECT_EQ(picture.status, 200);
    EXPECT_EQ(picture.contentType, "image/jpeg");
    EXPECT_EQ(picture.body,
              readFile(OrderService::stockFolder(server_->dataDir()) / "worktop.jpg"));
    EXPECT_EQ(get(url("/trelmostockimages/tray.jpg")).status, 404);  // named but not present
    EXPECT_EQ(get(url("/trelmostockimages/..%2Forderd.sqlite")).status, 404);
    EXPECT_EQ(get(url("/trelmostockimages/%2E%2E%2Forderd.sqlite")).status, 404);
    EXPECT_EQ(get(url("/somewhere/else")).status, 404);
    EXPECT_EQ(get(url("/ipad/loginVer2.php")).status, 405);
}

// Answers decided from the request head alone (a stock picture, a 404, a 405) must not cost
// the client its connection when there was no body to skip.
TEST_F(OrderServiceHttpTest, AnswersToRequestsWithoutABodyKeepTheConnection) {
    CURL* curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const std::pair<std::string, long> requests[] = {{"/trelmostockimages/worktop.jpg", 200},
                                                     {"/somewhere/else", 404},
                                                     {"/ipad/loginVer2.php", 405},
                                                     {"/trelmostockimages/worktop.jpg", 200}};
    for (std::size_t i = 0; i < std::size(requests); ++i) {
        const auto& [path, status] = requests[i];
        curl_easy_setopt(curl, CURLOPT_URL, url(path).c_str());
        ASSERT_EQ(curl_easy_perform(curl), CURLE_OK) << path;
        long answered = 0;
        long connects = -1;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answered);
        curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
        EXPECT_EQ(answered, status) << path;
        EXPECT_EQ(connects, i == 0 ? 1 : 0) << path << ": a new connection was needed";
    }
    curl_easy_cleanup(curl);
}

TEST_F(OrderServiceHttpTest, UploadStoresThePhotoByteForByteAndRecordsIt) {
    auto photo = jpegOfSize(11, 50'000);
    auto before = server_->service().database().uploads("1002").size();
    for (int round = 0; round < 2; ++round) {  // the same batch index twice: two photos
        auto answer = upload(appUploadBody(uploadFields("1002", "1"), photo), "?order=7");
        ASSERT_EQ(answer.status, 200) << answer.body;
        EXPECT_EQ(answer.body, "SUCCESS");
    }
    auto records = server_->service().database().uploads("1002");
    ASSERT_EQ(records.size(), before + 2);
    for (std::size_t i = before; i < records.size(); ++i) {
        const auto& r = records[i];
        EXPECT_EQ(r.location, Location::After);
        EXPECT_EQ(r.batchIndex, 7u);
        EXPECT_EQ(r.username, kUser);
        EXPECT_EQ(r.size, photo.size());
        EXPECT_EQ(r.sha256, sha256Hex(photo));
        EXPECT_EQ(r.storedPath.rfind("photos/1002/after/", 0), 0u) << r.storedPath;
        EXPECT_EQ(readFile(server_->dataDir() / r.storedPath), photo);
    }
    EXPECT_NE(records[before].storedPath, records[before + 1].storedPath);
}

TEST_F(OrderServiceHttpTest, BadUploadsAreRefusedAndLeaveNothingBehind) {
    auto photo = jpegOfSize(12, 30'000);
    auto fields = [](const std::string& drop, const std::string& key = "",
                     const std::string& v = "") {
        Fields out;
        for (auto& [name, value] : uploadFields()) {
            if (name != drop) {
                out.emplace_back(name, name == key ? v : value);
            }
        }
        return out;
    };
    auto complete = appUploadBody(uploadFields(), photo);
    Fields twice = uploadFields();
    twice.emplace_back("location", "1");
    struct Case {
        const char* what;
        std::string body;
        std::string query;
        long status;
    } cases[] = {
        {"wrong password", appUploadBody(fields("", "password", "nope-nope"), photo), "?order=0",
         401},
        {"unknown user", appUploadBody(fields("", "username", "mallory"), photo), "?order=0", 401},
        {"missing username", appUploadBody(fields("username"), photo), "?order=0", 400},
        {"missing location", appUploadBody(fields("location"), photo), "?order=0", 400},
        {"missing file", appUploadBody(uploadFields(), std::nullopt), "?order=0", 400},
        {"unknown order", appUploadBody(fields("", "order", "9999"), photo), "?order=0", 404},
        {"order with ../", appUploadBody(fields("", "order", "../1001"), photo), "?order=0", 400},
        {"order with /", appUploadBody(fields("", "order", "1001/x"), photo), "?order=0", 400},
        {"location 2", appUploadBody(fields("", "location", "2"), photo), "?order=0", 400},
        {"field twice", appUploadBody(twice, photo), "?order=0", 400},
        {"text as JPEG", appUploadBody(uploadFields(), std::string("just some text\n")), "?order=0",
         415},
        {"JPEG marker, no header",
         appUploadBody(uploadFields(), std::string("\xFF\xD8\xFF\xE0 no", 8)), "?order=0", 415},
        {"no closing delimiter", complete.substr(0, complete.size() - 40), "?order=0", 400},
        {"no batch index", complete, "", 400},
        {"batch index ../", complete, "?order=../1", 400},
        {"not multipart", "username=ana", "?order=0", 400},
    };
    auto& db = server_->service().database();
    auto rows = db.uploadCount();
    auto files = server_->storedFileCount();
    for (const auto& c : cases) {
        Answer answer = std::string(c.what) == "not multipart"
                            ? postBody(url("/ipad/uploadPicPhotos.php?order=0"),
                                       "application/x-www-form-urlencoded", c.body)
                            : upload(c.body, c.query);
        EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.body;
        ASSERT_TRUE(server_->waitUntilIdle());
        EXPECT_EQ(db.uploadCount(), rows) << c.what;
        EXPECT_EQ(server_->storedFileCount(), files) << c.what;
    }
}

TEST_F(OrderServiceHttpTest, ClientHangingUpMidBodyLeavesNothing) {
    auto body = appUploadBody(uploadFields(), jpegOfSize(13, 100'000));
    auto rows = server_->service().database().uploadCount();
    auto files = server_->storedFileCount();
    {
        RawConnection raw(server_->port());
        ASSERT_TRUE(raw.send(uploadHead(body.size()) + body.substr(0, 60'000)));
        ASSERT_TRUE(eventually([] { return server_->http().requestsInFlight() == 1; }));
        ASSERT_TRUE(eventually([&] { return server_->storedFileCount() == files + 1; }))
            << "the photo should be streaming to a temporary file";
    }
    ASSERT_TRUE(server_->waitUntilIdle());
    EXPECT_EQ(server_->service().database().uploadCount(), rows);
    EXPECT_EQ(server_->storedFileCount(), files);
}

TEST(OrderServiceLogTest, EveryRequestIsLoggedAndNoPasswordEver) {
    TestServer server;
    const std::string secret = "correct-horse-7-typo";
    postForm(server.baseUrl() + "/ipad/loginVer2.php", {{"username", kUser}, {"password", secret}});
    uploadTo(server, appUploadBody(uploadFields(), jpegOfSize(8, 20'000)), "?order=3");
    get(server.baseUrl() + "/nothing/here");
    ASSERT_TRUE(server.waitUntilIdle());
    auto log = server.accessLog();
    EXPECT_NE(log.find("\"POST /ipad/loginVer2.php\" 200 "), std::string::npos) << log;
    EXPECT_NE(log.find("\"POST /ipad/uploadPicPhotos.php?order=3\" 200 "), std::string::npos);
    EXPECT_NE(log.find("user=ana"), std::string::npos);
    EXPECT_NE(log.find("\"GET /nothing/here\" 404 "), std::string::npos);
    EXPECT_EQ(log.find(secret), std::string::npos);
    EXPECT_EQ(log.find(kPassword), std::string::npos);
}

TEST(OrderServiceLimitsTest, OversizedOrUnmeasuredBodiesAreRefusedBeforeTheyAreRead) {
    ServerOptions options;
    options.maxUploadBytes = 64 * 1024;
    TestServer server(options);
    auto head = [&](const std::string& path, const std::string& extra) {
        RawConnection raw(server.port());
        raw.send("POST " + path + " HTTP/1.1\r\nHost: t\r\nContent-Type: " + appContentType() +
                 "\r\n" + extra + "\r\n");
        return raw.receiveAll(5s);
    };
    // Nothing of the body is sent: the answer must come from the headers alone.
    EXPECT_EQ(head("/ipad/uploadPicPhotos.php?order=0", "Content-Length: 65537\r\n").substr(0, 12),
              "HTTP/1.1 413");
    EXPECT_EQ(head("/ipad/loginVer2.php", "Content-Length: 9000\r\n").substr(0, 12),
              "HTTP/1.1 413");
    EXPECT_EQ(
        head("/ipad/uploadPicPhotos.php?order=0", "Transfer-Encoding: chunked\r\n").substr(0, 12),
        "HTTP/1.1 411");
    EXPECT_EQ(head("/ipad/loginVer2.php", "X-Padding: " + std::string(40'000, 'p') + "\r\n")
                  .substr(0, 12),
              "HTTP/1.1 431");
    auto small = uploadTo(server, appUploadBody(uploadFields(), jpegOfSize(3, 60'000)));
    EXPECT_EQ(small.status, 200) << small.body;
    EXPECT_EQ(server.service().database().uploadCount(), 1);
}

// One worker thread, so that a client holding it would show.
ServerOptions oneWorker(unsigned idleTimeoutSeconds, unsigned maxConnections) {
    ServerOptions options;
    options.workerThreads = 1;
    options.idleTimeoutSeconds = idleTimeoutSeconds;
    options.maxConnections = maxConnections;
    return options;
}

TEST(OrderServiceLimitsTest, SlowClientsHoldNoWorkerAndAreDroppedWhenIdle) {
    TestServer server(oneWorker(1, 2));
    RawConnection slowHead(server.port());
    RawConnection slowBody(server.port());
    ASSERT_TRUE(slowHead.send("POST /ipad/loginVer2.php HTTP/1.1\r\nHost: t\r\n"));
    ASSERT_TRUE(slowBody.send(uploadHead(5000) + "--" + kBoundary));
    // Both slots are taken, and the only worker thread is shared with the stalled clients: a
    // third client is served once the idle ones are dropped, not after they finish.
    auto answer = postForm(server.baseUrl() + "/ipad/loginVer2.php",
                           {{"username", kUser}, {"password", kPassword}});
    EXPECT_EQ(answer.body, "SUCCESS");
    EXPECT_TRUE(slowHead.closedByPeer(2s));
    EXPECT_TRUE(slowBody.closedByPeer(2s));
    ASSERT_TRUE(server.waitUntilIdle());
    EXPECT_EQ(server.storedFileCount(), 0u);
}

// Connections kept open for reuse must not keep waiting clients out for a whole idle time-out:
// once half of the slots are taken, a connection whose request is done is closed soon.
TEST(OrderServiceLimitsTest, IdleConnectionsMakeWayOnceHalfTheSlotsAreTaken) {
    TestServer server(oneWorker(30, 4));
    const std::string form = std::string("username=") + kUser + "&password=" + kPassword;
    const std::string login =
        "POST /ipad/loginVer2.php HTTP/1.1\r\nHost: t\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
        std::to_string(form.size()) + "\r\n\r\n" + form;
    // The answer comes first and then, perhaps, the close.
    auto closedWithin = [](RawConnection& connection, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (auto now = std::chrono::steady_clock::now(); now < end;
             now = std::chrono::steady_clock::now()) {
            if (connection.closedByPeer(
                    std::chrono::duration_cast<std::chrono::milliseconds>(end - now))) {
                return true;
            }
        }
        return false;
    };
    RawConnection first(server.port());
    ASSERT_TRUE(first.send(login));
    // One slot of four: the connection keeps the full idle time-out.
    EXPECT_FALSE(closedWithin(first, 1500ms));
    RawConnection second(server.port());
    ASSERT_TRUE(second.send(login));
    EXPECT_TRUE(closedWithin(second, 5s));
    EXPECT_FALSE(closedWithin(first, 100ms));
}

TEST(OrderServiceLimitsTest, AClientTricklingItsBodyIsCutOffAtTheRequestTimeout) {
    ServerOptions options;
    options.requestTimeoutSeconds = 1;
    TestServer server(options);
    auto body = appUploadBody(uploadFields(), jpegOfSize(5, 20'000));
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.send(uploadHead(body.size())));
    // Never idle (a chunk every 100 ms), never done (at most 40 chunks of 10 bytes).
    bool cut = false;
    for (std::size_t at = 0; at < 400 && !cut; at += 10) {
        cut = !raw.send(body.substr(at, 10)) || raw.closedByPeer(100ms);
    }
    EXPECT_TRUE(cut);
    ASSERT_TRUE(server.waitUntilIdle());
    EXPECT_EQ(server.storedFileCount(), 0u);
}

TEST(OrderServiceTlsTest, ServesHttpsWithTheGivenCertificate) {
    auto identity = makeSelfSignedIdentity();
    ServerOptions options;
    options.certificatePem = identity.certificatePem;
    options.keyPem = identity.keyPem;
    TestServer server(options);
    ASSERT_TRUE(server.http().isTls());
    std::string https = "https://127.0.0.1:" + std::to_string(server.port());
    auto answer =
        postFormTls(https + "/ipad/loginVer2.php", {{"username", kUser}, {"password", kPassword}},
                    identity.certificatePem);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "SUCCESS");
    EXPECT_EQ(postForm(server.baseUrl() + "/ipad/loginVer2.php", {}).status, 0);  // plain HTTP
}

TEST(OrderServiceShutdownTest, UploadsInFlightFinishBeforeTheServerStops) {
    TestServer server;
    auto body = appUploadBody(uploadFields("1001", "0"), jpegOfSize(21, 80'000));
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.send(uploadHead(body.size(), "?order=4") + body.substr(0, 30'000)));
    ASSERT_TRUE(eventually([&] { return server.http().requestsInFlight() == 1; }));
    std::thread stopper([&] { server.http().shutdown(10s); });
    // Once the server has stopped accepting, new clients are turned away...
    ASSERT_TRUE(eventually([&] { return !RawConnection(server.port()).connected(); }));
    // ...while the upload that had started is still received, stored and answered.
    ASSERT_TRUE(raw.send(body.substr(30'000)));
    auto answer = raw.receiveAll(10s);
    stopper.join();
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 200") << answer;
    auto records = server.service().database().uploads("1001");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].batchIndex, 4u);
}

}  // namespace
}  // namespace orderd::test
