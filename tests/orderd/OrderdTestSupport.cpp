#include "tests/orderd/OrderdTestSupport.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "orderd/Jpeg.h"

namespace orderd::test {
namespace fs = std::filesystem;

TestServer::TestServer(ServerOptions options)
    : logFile_(std::fopen((dir_.path() / "access.log").c_str(), "a")) {
    log_ = std::make_unique<AccessLog>(logFile_);
    auto service = OrderService::open(dir_.path(), OpenMode::Serve);
    if (!service.ok()) {
        throw std::runtime_error(service.error().message);
    }
    service_ = std::move(service.value());
    auto& db = service_->database();
    db.addUser(kUser, CredentialChecker::hashPassword(kPassword).value());
    db.addOrder(
        {"1001", "Oak worktop 3.2 m", "Harlow - 12 Mill Lane", "Fit on Tuesday", "worktop.jpg"});
    db.addOrder(
        {"1002", "Shower tray", "Patel - 3 Orchard Close", "Old enclosure out first", "tray.jpg"});
    std::ofstream(OrderService::stockFolder(dir_.path()) / "worktop.jpg", std::ios::binary)
        << jpegOfSize(1, 20000);
    options.port = 0;
    auto server = HttpServer::start(options, *service_, *log_);
    if (!server.ok()) {
        throw std::runtime_error(server.error().message);
    }
    server_ = std::move(server.value());
}

TestServer::~TestServer() {
    server_.reset();
    std::fclose(logFile_);
}

std::string TestServer::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(server_->port());
}

std::string TestServer::accessLog() const {
    return readFile(dir_.path() / "access.log");
}

std::size_t TestServer::storedFileCount() const {
    return filesIn(dir_.path() / "photos") + filesIn(dir_.path() / "tmp");
}

bool TestServer::waitUntilIdle() {
    return eventually([this] { return server_->requestsInFlight() == 0; });
}

namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Leaves `curl` open, with its connection, for the next request.
Answer transfer(CURL* curl, curl_slist* headers) {
    Answer answer;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
        char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        answer.contentType = type ? type : "";
    }
    curl_slist_free_all(headers);
    return answer;
}

Answer perform(CURL* curl, curl_slist* headers) {
    Answer answer = transfer(curl, headers);
    curl_easy_cleanup(curl);
    return answer;
}

std::string escape(const std::string& text) {
    char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
    std::string out = escaped;
    curl_free(escaped);
    return out;
}

std::string formBody(const Fields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += (body.empty() ? "" : "&") + escape(name) + "=" + escape(value);
    }
    return body;
}

}  // namespace

Answer postForm(const std::string& url, const Fields& fields) {
    return postBody(url, "application/x-www-form-urlencoded", formBody(fields));
}

Answer postFormTls(const std::string& url, const Fields& fields,
                   const std::string& certificatePem) {
    std::string body = formBody(fields);
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_blob trust{const_cast<char*>(certificatePem.data()), certificatePem.size(),
                    CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &trust);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    return perform(curl, nullptr);
}

namespace {

std::string pemOf(const std::function<int(BIO*)>& write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return pem;
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

}  // namespace

TlsIdentity makeSelfSignedIdentity() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048));
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    addExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert, NID_subject_alt_name, "IP:127.0.0.1");
    X509_sign(cert, key, EVP_sha256());
    TlsIdentity identity{
        pemOf([&](BIO* bio) { return PEM_write_bio_X509(bio, cert); }), pemOf([&](BIO* bio) {
            return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
        })};
    X509_free(cert);
    EVP_PKEY_free(key);
    return identity;
}

Answer postBody(CURL* curl, const std::string& url, const std::string& contentType,
                const std::string& body) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
    headers = curl_slist_append(headers, "Expect:");
    return transfer(curl, headers);
}

Answer postBody(const std::string& url, const std::string& contentType, const std::string& body) {
    CURL* curl = curl_easy_init();
    Answer answer = postBody(curl, url, contentType, body);
    curl_easy_cleanup(curl);
    return answer;
}

Answer get(const std::string& url) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    return perform(curl, nullptr);
}

std::string appUploadBody(const Fields& fields, const std::optional<std::string>& jpeg) {
    std::string delimiter = std::string("--") + kBoundary + "\r\n";
    std::string body;
    for (const auto& [name, value] : fields) {
        body += (body.empty() ? "" : "\r\n") + delimiter;
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value;
    }
    if (jpeg) {
        body += (body.empty() ? "" : "\r\n") + delimiter;
        body += "Content-Disposition: form-data; name=\"file\"; filename=\"temp.jpeg\"\r\n";
        body += "Content-Type: image/jpeg\r\n\r\n" + *jpeg;
    }
    return body + "\r\n--" + kBoundary + "--\r\n";
}

std::string appContentType() {
    return std::string("multipart/form-data; boundary=") + kBoundary;
}

Fields uploadFields(const std::string& order, const std::string& location) {
    return {{"username", kUser}, {"password", kPassword}, {"order", order}, {"location", location}};
}

std::string jpegOfSize(std::uint32_t seed, std::size_t size) {
    static const std::string base = encodePatternJpeg(160, 120, 0x3366AA, 7, 80).value();
    // Comment segments after the start-of-image marker make each photo unique and sized.
    if (size < base.size() + 4) {
        return base;
    }
    static const std::string pool = [] {
        std::string bytes(128 * 1024, 0);
        std::uint32_t noise = 12345;
        for (auto& byte : bytes) {
            noise = noise * 1664525u + 1013904223u;
            byte = static_cast<char>('a' + (noise >> 27));
        }
        return bytes;
    }();
    std::string out = base.substr(0, 2);
    std::size_t filler = size - base.size();
    std::string tag = "photo " + std::to_string(seed) + " ";
    for (std::size_t part = 0; filler > 0; ++part) {
        std::size_t segment = std::min<std::size_t>(filler, 60004);
        if (filler - segment > 0 && filler - segment < 4 + tag.size()) {
            segment -= 4 + tag.size();  // the last segment needs room for its header and tag
        }
        std::size_t payload = segment - 4;
        out += "\xFF\xFE";
        out.push_back(static_cast<char>((payload + 2) >> 8));
        out.push_back(static_cast<char>((payload + 2) & 0xff));
        std::size_t offset = (seed * 7919u + part * 104729u) % (pool.size() - payload);
        out += (tag + pool.substr(offset, payload)).substr(0, payload);
        filler -= segment;
    }
    return out + base.substr(2);
}

std::string sha256Hex(const std::string& bytes) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest;
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                       bytes.size());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex;
    sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
    return hex.data();
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

RawConnection::RawConnection(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RawConnection::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        auto n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string RawConnection::receiveAll(std::chrono::milliseconds deadline) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + deadline;
    std::array<char, 4096> buffer;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return out;
        }
        auto n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return out;
        }
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

bool RawConnection::closedByPeer(std::chrono::milliseconds deadline) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(deadline.count())) <= 0) {
        return false;
    }
    std::array<char, 256> buffer;
    while (true) {
        auto n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return true;
        }
        if (n < 0) {
            return false;
        }
    }
}

}  // namespace orderd::test
