#include "platform/url/URLConnection.h"

#include <algorithm>
#include <map>

#include "platform/core/Clock.h"
#include "platform/core/InputStream.h"
#include "platform/core/Timer.h"
#include "platform/url/CurlErrorPrivate.h"
#include "platform/url/CurlMultiDriverPrivate.h"
#include "platform/url/HTTPURLResponse.h"
#include "platform/url/URLCredentialStorage.h"
#include "platform/url/URLError.h"

namespace url {
namespace {

constexpr int kMaxRedirects = 16;
// Answers larger than this are not offered for caching, so a download is never held twice.
constexpr size_t kMaxCacheableBytes = 1 << 20;
// libcurl reads the socket into a buffer of this size and hands each filled buffer to the
// write callback. Its default of 16 KiB costs one trip through the delegate and the output
// stream per 16 KiB, which on a large download is the bulk of the network thread's work.
// libcurl allocates it for every transfer, and glibc gives a freed chunk of 64 KiB or more
// back to the system at once, so a larger buffer would cost every small request a heap
// grow, fresh page faults and a trim.
constexpr long kReceiveBufferBytes = 60 * 1024;
// Below libcurl's limit for sending a body in the same write as the head. A body split from
// its head costs a second write and wake-up on both ends of every small request.
constexpr size_t kInlineBodyBytes = 60 * 1024;
// An idle time-out this close to its end counts as reached: waiting out a rounding error
// would cost another turn of the timer.
constexpr double kTimerSlackSeconds = 0.001;

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string_view trimmedView(std::string_view text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) {
        return {};
    }
    auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::string trimmed(std::string_view text) {
    return std::string(trimmedView(text));
}

struct ChallengeInfo {
    std::string method;
    std::optional<std::string> realm;
};

// The strongest of the schemes we can answer in a WWW-Authenticate value (repeated fields
// arrive joined with ", "): Digest before Basic.
std::optional<ChallengeInfo> parseChallenge(std::string_view header) {
    auto findScheme = [&](std::string_view scheme) -> std::optional<size_t> {
        for (size_t at = 0; (at = header.find(scheme, at)) != std::string_view::npos; ++at) {
            bool startsToken = at == 0 || header[at - 1] == ' ' || header[at - 1] == ',';
            size_t after = at + scheme.size();
            if (startsToken && (after == header.size() || header[after] == ' ')) {
                return after;
            }
        }
        return std::nullopt;
    };
    auto realmAfter = [&](size_t at) -> std::optional<std::string> {
        size_t key = header.find("realm=", at);
        if (key == std::string_view::npos) {
            return std::nullopt;
        }
        size_t start = key + 6;
        if (start < header.size() && header[start] == '"') {
            size_t close = header.find('"', start + 1);
            return std::string(header.substr(start + 1, close - start - 1));
        }
        return trimmed(header.substr(start, header.find(',', start) - start));
    };
    if (auto at = findScheme("Digest")) {
        return ChallengeInfo{kAuthenticationMethodHTTPDigest, realmAfter(*at)};
    }
    if (auto at = findScheme("Basic")) {
        return ChallengeInfo{kAuthenticationMethodHTTPBasic, realmAfter(*at)};
    }
    return std::nullopt;
}

bool sameOrigin(const URL& a, const URL& b) {
    return a.scheme() == b.scheme() && HTTPHeaderFields::namesEqual(a.host(), b.host()) &&
           a.effectivePort() == b.effectivePort();
}

// The request a redirect leads to: 303, and 301/302 after a POST, become a GET without body;
// credentials are not carried to another origin.
std::shared_ptr<const URLRequest> redirectedRequest(const URLRequest& current, const URL& target,
                                                    int status) {
    MutableURLRequest next(current);
    next.setURL(target);
    bool toGet = (status == 303 && current.httpMethod() != "HEAD") ||
                 ((status == 301 || status == 302) && current.httpMethod() == "POST");
    if (toGet) {
        next.setHTTPMethod("GET");
        next.setHTTPBody(std::nullopt);
        next.setValue(std::nullopt, "Content-Type");
        next.setValue(std::nullopt, "Content-Length");
    }
    if (!current.url() || !sameOrigin(*current.url(), target)) {
        next.setValue(std::nullopt, "Authorization");
    }
    return std::make_shared<const URLRequest>(next.copy());
}

std::optional<std::string> mimeTypeForExtension(const std::string& extension) {
    // Never destroyed: the loop's thread may still look a type up while the process exits.
    static const auto& kTypes = *new const std::map<std::string, std::string>{
        {"html", "text/html"},        {"htm", "text/html"},       {"txt", "text/plain"},
        {"json", "application/json"}, {"xml", "application/xml"}, {"plist", "application/xml"},
        {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},     {"png", "image/png"},
        {"gif", "image/gif"},         {"pdf", "application/pdf"},
    };
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto found = kTypes.find(lower);
    return found == kTypes.end() ? std::optional<std::string>("application/octet-stream")
                                 : std::optional<std::string>(found->second);
}

}  // namespace

// Everything that happens on the loop's thread: one libcurl transfer at a time (a redirect
// or an answered challenge starts the next one), the parsing of answer heads and every call
// to the delegate.
class URLConnection::Loader {
public:
    Loader(URLConnection& owner, std::shared_ptr<const URLRequest> request,
           std::shared_ptr<URLConnectionDelegate> delegate)
        : owner_(owner), request_(std::move(request)), delegate_(std::move(delegate)) {}
    ~Loader() { releaseTransfer(); }

    void begin();
    void stop();
    void dropDelegate() { delegate_.reset(); }
    void answer(Answer answer, const std::shared_ptr<URLCredential>& credential,
                const std::shared_ptr<URLAuthenticationChallenge>& challenge);

private:
    enum class BodyRoute { Deliver, Discard, Hold };

    struct Head {
        bool statusSeen = false;
        int status = 0;
        HTTPHeaderFields fields;
    };

    bool live() const { return !ended_ && delegate_ && !owner_.cancelled_.load(); }
    const std::optional<URL>& currentURL() const { return request_->url(); }

    void startTransfer();
    double idleInterval() const;
    void noteActivity() { lastActivity_ = core::Clock::now(); }
    void armIdleTimer(double after);
    void idleTimerFired();
    bool configure();
    bool stripUserFromURL();
    void configureMethodAndBody(curl_slist*& headers);
    // A handle whose transfer ran to its end is kept for the next one; one taken out midway
    // (cancelled, timed out) is dropped.
    void releaseTransfer(bool reusable = false);
    void transferDone(CURLcode result);

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static size_t onRead(char* buffer, size_t size, size_t count, void* self);
    static int onSeek(void* self, curl_off_t offset, int origin);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent);
    size_t header(std::string_view line);
    bool headComplete();
    bool followRedirect(const std::shared_ptr<const HTTPURLResponse>& response);
    size_t write(const char* data, size_t size);
    size_t read(char* buffer, size_t size);
    bool noteSent(std::int64_t total);

    void deliverResponse(std::shared_ptr<const URLResponse> response);
    std::shared_ptr<const URLResponse> plainResponse() const;
    void raiseChallenge();
    void deliverHeldAnswer();
    void finishLoading();
    void fail(const core::Error& error);
    void end();
    bool bodyStreamSpent() const { return request_->httpBodyStream() && streamRead_; }

    URLConnection& owner_;
    std::shared_ptr<const URLRequest> request_;
    std::shared_ptr<URLConnectionDelegate> delegate_;
    bool ended_ = false;

    // The running transfer; driver_ is set while the handle is in the driver's multi handle.
    CurlMultiDriver* driver_ = nullptr;
    CURL* easy_ = nullptr;
    bool easySharesCookies_ = false;
    curl_slist* headerList_ = nullptr;
    std::string stringOptions_[3];  // URL, user, password: alive as long as the handle
    Head head_;
    BodyRoute route_ = BodyRoute::Deliver;
    size_t bodyOffset_ = 0;  // into the request's body bytes
    bool streamRead_ = false;
    bool inlineBody_ = false;  // handed to libcurl whole, sent with the head
    std::optional<core::Error> bodyError_;
    std::int64_t sent_ = 0;
    std::int64_t expectedToSend_ = -1;
    core::Clock::TimePoint lastActivity_;
    std::shared_ptr<core::Timer> idleTimer_;

    // The load as a whole.
    std::shared_ptr<const URLResponse> response_;
    bool cacheable_ = false;
    core::Bytes cacheData_;
    std::shared_ptr<const HTTPURLResponse> heldResponse_;
    core::Bytes heldBody_;
    std::shared_ptr<const URLRequest> redirectTo_;
    int redirects_ = 0;
    bool tooManyRedirects_ = false;
    std::shared_ptr<URLCredential> credential_;
    std::string credentialMethod_;
    std::map<std::string, int> failures_;  // by protection-space key
    std::shared_ptr<URLAuthenticationChallenge> pendingChallenge_;
};

void URLConnection::Loader::begin() {
    if (!live()) {
        return end();
    }
    const auto& url = currentURL();
    if (!url) {
        return fail(makeURLError(URLErrorCode::BadURL, std::nullopt));
    }
    const std::string& scheme = url->scheme();
    if (scheme != "http" && scheme != "https" && scheme != "file") {
        return fail(makeURLError(URLErrorCode::UnsupportedURL, url));
    }
    if (request_->cachePolicy() == URLRequestCachePolicy::ReturnCacheDataDontLoad) {
        // Nothing is ever cached in this layer, so "cache only" can never be served.
        return fail(makeURLError(URLErrorCode::ResourceUnavailable, url));
    }
    startTransfer();
}

void URLConnection::Loader::stop() {
    releaseTransfer();
    end();
}

void URLConnection::Loader::startTransfer() {
    releaseTransfer();
    head_ = {};
    route_ = BodyRoute::Deliver;
    bodyOffset_ = 0;
    inlineBody_ = false;
    sent_ = 0;
    bodyError_.reset();
    if (bodyStreamSpent()) {
        return fail(makeURLError(URLErrorCode::RequestBodyStreamExhausted, currentURL()));
    }
    if (!configure()) {
        return fail(makeURLError(URLErrorCode::BadURL, currentURL()));
    }
    auto self = owner_.protectedThis();
    CurlMultiDriver& driver = CurlMultiDriver::current();
    bool added = driver.add(easy_, [self](CURLcode result) {
        self->loader_->driver_ = nullptr;  // the handle has left the multi handle
        self->loader_->transferDone(result);
    });
    driver_ = added ? &driver : nullptr;
    if (!added) {
        return fail(
            makeURLError(URLErrorCode::Unknown, currentURL(), "The transfer could not start."));
    }
    noteActivity();
    armIdleTimer(idleInterval());
}

double URLConnection::Loader::idleInterval() const {
    double interval = request_->timeoutInterval();
    return interval > 0 ? interval : URLRequest::kDefaultTimeoutInterval;
}

// The time-out bounds any stretch in which no byte moves either way, connecting included.
// libcurl's own low-speed check averages over several seconds, far too coarse for short
// intervals, so the loop's clock keeps the watch; moving bytes only stamps the time, and the
// timer, when it fires early, waits out the rest.
void URLConnection::Loader::armIdleTimer(double after) {
    if (idleTimer_) {
        idleTimer_->invalidate();
    }
    std::weak_ptr<URLConnection> weakOwner = owner_.protectedThis();
    idleTimer_ = core::Timer::create(after, core::Timer::Repeats::No, [weakOwner](core::Timer&) {
        if (auto owner = weakOwner.lock()) {
            owner->loader_->idleTimerFired();
        }
    });
    auto loop = core::RunLoop::current();
    for (const auto& mode : owner_.startedModes()) {
        loop->addTimer(idleTimer_, mode);
    }
}

void URLConnection::Loader::idleTimerFired() {
    if (driver_ == nullptr || !live()) {
        return;
    }
    double left = idleInterval() - (core::Clock::now() - lastActivity_).count();
    if (left > kTimerSlackSeconds) {
        return armIdleTimer(left);
    }
    fail(makeURLError(URLErrorCode::TimedOut, currentURL()));
}

// The URL's own user and password are not sent on their own: they answer a challenge only if
// the delegate chooses so. A URL without them (nearly all) goes to libcurl as it is, with no
// second parse.
bool URLConnection::Loader::stripUserFromURL() {
    const URL& url = *currentURL();
    if (!url.user() && !url.password()) {
        stringOptions_[0] = url.absoluteString();
        return true;
    }
    CURLU* parts = curl_url();
    char* withoutUser = nullptr;
    bool parsed = curl_url_set(parts, CURLUPART_URL, url.absoluteString().c_str(),
                               CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
                  curl_url_set(parts, CURLUPART_USER, nullptr, 0) == CURLUE_OK &&
                  curl_url_set(parts, CURLUPART_PASSWORD, nullptr, 0) == CURLUE_OK &&
                  curl_url_get(parts, CURLUPART_URL, &withoutUser, 0) == CURLUE_OK;
    if (parsed) {
        stringOptions_[0] = withoutUser;
    }
    curl_free(withoutUser);
    curl_url_cleanup(parts);
    return parsed;
}

bool URLConnection::Loader::configure() {
    easySharesCookies_ = request_->httpShouldHandleCookies();
    easy_ = CurlMultiDriver::current().takeHandle(easySharesCookies_);
    if (easy_ == nullptr) {
        return false;
    }
    if (!stripUserFromURL()) {
        return false;
    }
    curl_easy_setopt(easy_, CURLOPT_URL, stringOptions_[0].c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Loader::onHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Loader::onWrite);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    if (request_->httpShouldHandleCookies()) {
        curl_easy_setopt(easy_, CURLOPT_SHARE, CurlMultiDriver::current().cookieShare());
        curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
    }
    if (credential_) {
        stringOptions_[1] = credential_->user();
        stringOptions_[2] = credential_->password();
        curl_easy_setopt(easy_, CURLOPT_USERNAME, stringOptions_[1].c_str());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, stringOptions_[2].c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH,
                         credentialMethod_ == kAuthenticationMethodHTTPDigest ? CURLAUTH_DIGEST
                                                                              : CURLAUTH_BASIC);
    }
    curl_slist* headers = nullptr;
    configureMethodAndBody(headers);
    for (const auto& [name, value] : request_->allHTTPHeaderFields().entries()) {
        if (HTTPHeaderFields::namesEqual(name, "Content-Length")) {
            continue;  // libcurl writes it from the body size
        }
        // "Name;" is libcurl's way to send a field with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers = curl_slist_append(headers, line.c_str());
    }
    if (!request_->allHTTPHeaderFields().contains("Expect")) {
        headers = curl_slist_append(headers, "Expect:");
    }
    headerList_ = headers;
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    return true;
}

void URLConnection::Loader::configureMethodAndBody(curl_slist*&) {
    const std::string& method = request_->httpMethod();
    bool hasBody = request_->httpBody() || request_->httpBodyStream();
    if (method == "HEAD") {
        curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
        return;
    }
    if (!hasBody && method == "GET") {
        return;
    }
    if (!hasBody && method != "POST") {
        curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
        return;
    }
    expectedToSend_ = -1;
    if (const auto& bytes = request_->httpBody()) {
        expectedToSend_ = static_cast<std::int64_t>(bytes->size());
    } else if (auto length = request_->valueForHTTPHeaderField("Content-Length")) {
        expectedToSend_ = std::strtoll(length->c_str(), nullptr, 10);
    }
    curl_easy_setopt(easy_, CURLOPT_POST, 1L);
    if (const auto& bytes = request_->httpBody(); bytes && bytes->size() <= kInlineBodyBytes) {
        // The request holds the bytes, unchanged, for as long as the handle lives. What
        // libcurl has sent of them is read back through its progress callback.
        inlineBody_ = true;
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDS,
                         bytes->empty() ? "" : reinterpret_cast<const char*>(bytes->data()));
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(bytes->size()));
        curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &Loader::onProgress);
        curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
        if (method != "POST") {
            curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
        }
        return;
    }
    curl_easy_setopt(easy_, CURLOPT_READFUNCTION, &Loader::onRead);
    curl_easy_setopt(easy_, CURLOPT_READDATA, this);
    curl_easy_setopt(easy_, CURLOPT_SEEKFUNCTION, &Loader::onSeek);
    curl_easy_setopt(easy_, CURLOPT_SEEKDATA, this);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(hasBody ? expectedToSend_ : 0));
    if (method != "POST") {
        curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (const auto& stream = request_->httpBodyStream();
        stream && stream->streamStatus() == core::StreamStatus::NotOpen) {
        stream->open();
    }
}

void URLConnection::Loader::releaseTransfer(bool reusable) {
    if (idleTimer_) {
        idleTimer_->invalidate();
        idleTimer_.reset();
    }
    if (driver_ != nullptr) {
        driver_->remove(easy_);
        driver_ = nullptr;
    }
    if (easy_ != nullptr) {
        if (reusable) {
            CurlMultiDriver::current().giveBackHandle(easy_, easySharesCookies_);
        } else {
            curl_easy_cleanup(easy_);
        }
        easy_ = nullptr;
    }
    if (headerList_ != nullptr) {
        curl_slist_free_all(headerList_);
        headerList_ = nullptr;
    }
}

void URLConnection::Loader::transferDone(CURLcode result) {
    releaseTransfer(true);
    if (!live()) {
        return end();
    }
    if (bodyError_) {
        return fail(*bodyError_);
    }
    if (tooManyRedirects_) {
        return fail(makeURLError(URLErrorCode::HTTPTooManyRedirects, currentURL()));
    }
    if (result != CURLE_OK) {
        return fail(urlErrorFromCurl(result, currentURL()));
    }
    if (redirectTo_) {
        request_ = std::move(redirectTo_);
        redirectTo_.reset();
        return begin();
    }
    if (route_ == BodyRoute::Hold) {
        return raiseChallenge();
    }
    finishLoading();
}

size_t URLConnection::Loader::onHeader(char* data, size_t size, size_t count, void* self) {
    return static_cast<Loader*>(self)->header(std::string_view(data, size * count));
}

size_t URLConnection::Loader::onWrite(char* data, size_t size, size_t count, void* self) {
    return static_cast<Loader*>(self)->write(data, size * count);
}

size_t URLConnection::Loader::onRead(char* buffer, size_t size, size_t count, void* self) {
    return static_cast<Loader*>(self)->read(buffer, size * count);
}

int URLConnection::Loader::onSeek(void* opaque, curl_off_t offset, int origin) {
    auto* self = static_cast<Loader*>(opaque);
    const auto& bytes = self->request_->httpBody();
    // Body bytes can be sent again (libcurl rewinds for authentication); a stream cannot.
    if (origin != SEEK_SET || !bytes || offset < 0 || static_cast<size_t>(offset) > bytes->size()) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    self->bodyOffset_ = static_cast<size_t>(offset);
    self->sent_ = offset;
    return CURL_SEEKFUNC_OK;
}

int URLConnection::Loader::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t,
                                      curl_off_t sent) {
    return static_cast<Loader*>(self)->noteSent(sent) ? 0 : 1;
}

// Reports what libcurl has sent of an inline body since the last report. The count starts
// again at 0 when libcurl sends the request anew (an authentication round), as a rewound
// stream does.
bool URLConnection::Loader::noteSent(std::int64_t total) {
    if (!inlineBody_ || total == sent_) {
        return live();
    }
    if (total < sent_) {
        sent_ = total;
        return live();
    }
    if (!live()) {
        return false;
    }
    noteActivity();
    std::int64_t count = total - sent_;
    sent_ = total;
    auto delegate = delegate_;
    delegate->didSendBodyData(owner_, count, sent_, expectedToSend_);
    return live();
}

size_t URLConnection::Loader::header(std::string_view raw) {
    noteActivity();
    const std::string_view line = trimmedView(raw);
    if (raw.starts_with("HTTP/")) {
        // The progress callback may not have run since the body went out with the head;
        // the body's progress comes before any answer.
        if (curl_off_t sent = 0;
            inlineBody_ && curl_easy_getinfo(easy_, CURLINFO_SIZE_UPLOAD_T, &sent) == CURLE_OK &&
            !noteSent(sent)) {
            return 0;
        }
        // A new answer head: anything held from an earlier one (an interim 401 that libcurl
        // answers itself with the credential) no longer counts.
        head_ = {};
        route_ = BodyRoute::Deliver;
        heldBody_.clear();
        const std::string statusLine(line);
        auto space = statusLine.find(' ');
        head_.statusSeen = space != std::string::npos;
        head_.status = head_.statusSeen ? std::atoi(statusLine.c_str() + space + 1) : 0;
        return raw.size();
    }
    if (line.empty()) {
        return headComplete() ? raw.size() : 0;
    }
    auto colon = line.find(':');
    if (colon != std::string_view::npos && head_.statusSeen) {
        head_.fields.add(trimmedView(line.substr(0, colon)), trimmedView(line.substr(colon + 1)));
    }
    return raw.size();
}

bool URLConnection::Loader::headComplete() {
    if (!head_.statusSeen || (head_.status >= 100 && head_.status < 200)) {
        head_ = {};
        return true;
    }
    if (!live()) {
        return false;
    }
    if (isRedirectStatus(head_.status) && head_.fields.contains("Location")) {
        return followRedirect(
            std::make_shared<const HTTPURLResponse>(*currentURL(), head_.status, head_.fields));
    }
    auto challenge = head_.fields.get("WWW-Authenticate");
    if (head_.status == 401 && challenge && parseChallenge(*challenge)) {
        route_ = BodyRoute::Hold;
        heldResponse_ =
            std::make_shared<const HTTPURLResponse>(*currentURL(), head_.status, head_.fields);
        return true;
    }
    // Nothing reads this head's fields again: the next head starts afresh.
    deliverResponse(std::make_shared<const HTTPURLResponse>(*currentURL(), head_.status,
                                                            std::move(head_.fields)));
    return live();
}

bool URLConnection::Loader::followRedirect(const std::shared_ptr<const HTTPURLResponse>& response) {
    auto target = URL::create(*head_.fields.get("Location"), *currentURL());
    // A Location we cannot read is no redirect, and a server never sends us to a local file.
    if (!target || (target->scheme() != "http" && target->scheme() != "https")) {
        deliverResponse(response);
        return live();
    }
    if (++redirects_ > kMaxRedirects) {
        tooManyRedirects_ = true;
        return false;
    }
    auto delegate = delegate_;
    auto next = delegate->willSendRequest(
        owner_, redirectedRequest(*request_, *target, head_.status), response);
    if (!live()) {
        return false;
    }
    if (!next) {
        deliverResponse(response);
        return live();
    }
    redirectTo_ = std::move(next);
    route_ = BodyRoute::Discard;  // read the rest so the connection can be used again
    return true;
}

size_t URLConnection::Loader::write(const char* data, size_t size) {
    noteActivity();
    if (!live()) {
        return 0;
    }
    if (route_ == BodyRoute::Discard) {
        return size;
    }
    auto bytes = reinterpret_cast<const std::uint8_t*>(data);
    if (route_ == BodyRoute::Hold) {
        heldBody_.insert(heldBody_.end(), bytes, bytes + size);
        return size;
    }
    if (!response_) {
        deliverResponse(plainResponse());
        if (!live()) {
            return 0;
        }
    }
    if (cacheable_) {
        cacheable_ = cacheData_.size() + size <= kMaxCacheableBytes;
        if (cacheable_) {
            cacheData_.insert(cacheData_.end(), bytes, bytes + size);
        } else {
            cacheData_.clear();
        }
    }
    auto delegate = delegate_;
    delegate->didReceiveData(owner_, std::span<const std::uint8_t>(bytes, size));
    return live() ? size : 0;
}

size_t URLConnection::Loader::read(char* buffer, size_t size) {
    if (!live()) {
        return CURL_READFUNC_ABORT;
    }
    auto* out = reinterpret_cast<std::uint8_t*>(buffer);
    std::ptrdiff_t count = 0;
    if (const auto& bytes = request_->httpBody()) {
        count = static_cast<std::ptrdiff_t>(std::min(size, bytes->size() - bodyOffset_));
        std::copy_n(bytes->data() + bodyOffset_, count, out);
        bodyOffset_ += static_cast<size_t>(count);
    } else if (const auto& stream = request_->httpBodyStream()) {
        streamRead_ = true;
        count = stream->read(out, size);
        if (count < 0) {
            bodyError_ = stream->streamError().value_or(makeURLError(
                URLErrorCode::Unknown, currentURL(), "The request body could not be read."));
            return CURL_READFUNC_ABORT;
        }
    }
    if (count > 0) {
        noteActivity();
        sent_ += count;
        auto delegate = delegate_;
        delegate->didSendBodyData(owner_, count, sent_, expectedToSend_);
        if (!live()) {
            return CURL_READFUNC_ABORT;
        }
    }
    return static_cast<size_t>(count);
}

std::shared_ptr<const URLResponse> URLConnection::Loader::plainResponse() const {
    curl_off_t length = -1;
    if (easy_ != nullptr) {
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    }
    return std::make_shared<const URLResponse>(
        *currentURL(), mimeTypeForExtension(currentURL()->pathExtension()),
        length >= 0 ? length : URLResponse::kUnknownLength, std::nullopt);
}

void URLConnection::Loader::deliverResponse(std::shared_ptr<const URLResponse> response) {
    response_ = std::move(response);
    auto http = std::dynamic_pointer_cast<const HTTPURLResponse>(response_);
    cacheable_ = http && http->statusCode() == 200 && request_->httpMethod() == "GET" &&
                 request_->cachePolicy() != URLRequestCachePolicy::ReloadIgnoringLocalCacheData &&
                 http->valueForHTTPHeaderField("Cache-Control").value_or("").find("no-store") ==
                     std::string::npos &&
                 http->expectedContentLength() <= static_cast<std::int64_t>(kMaxCacheableBytes);
    cacheData_.clear();
    auto delegate = delegate_;
    delegate->didReceiveResponse(owner_, response_);
}

void URLConnection::Loader::raiseChallenge() {
    auto info =
        parseChallenge(heldResponse_->valueForHTTPHeaderField("WWW-Authenticate").value_or(""));
    const URL& url = *currentURL();
    URLProtectionSpace space(url.host(), url.effectivePort(), url.scheme(), info->realm,
                             info->method);
    auto challenge = URLAuthenticationChallenge::create(
        space, URLCredentialStorage::shared()->defaultCredentialForProtectionSpace(space),
        failures_[space.key()], heldResponse_, owner_.protectedThis());
    auto delegate = delegate_;
    if (!delegate->canAuthenticateAgainstProtectionSpace(owner_, space)) {
        return live() ? deliverHeldAnswer() : end();
    }
    if (!live()) {
        return end();
    }
    pendingChallenge_ = challenge;
    delegate->didReceiveAuthenticationChallenge(owner_, challenge);
}

void URLConnection::Loader::answer(Answer answer, const std::shared_ptr<URLCredential>& credential,
                                   const std::shared_ptr<URLAuthenticationChallenge>& challenge) {
    if (!live() || !challenge || challenge != pendingChallenge_) {
        return;  // a late, repeated or foreign answer
    }
    pendingChallenge_.reset();
    if (answer == Answer::Cancel) {
        return fail(makeURLError(URLErrorCode::UserCancelledAuthentication, currentURL()));
    }
    if (answer == Answer::ContinueWithout || !credential) {
        return deliverHeldAnswer();
    }
    const URLProtectionSpace& space = challenge->protectionSpace();
    ++failures_[space.key()];
    credential_ = credential;
    credentialMethod_ = space.authenticationMethod();
    URLCredentialStorage::shared()->setCredential(credential, space);
    startTransfer();
}

void URLConnection::Loader::deliverHeldAnswer() {
    deliverResponse(heldResponse_);
    if (live() && !heldBody_.empty()) {
        auto delegate = delegate_;
        delegate->didReceiveData(owner_, heldBody_);
    }
    finishLoading();
}

void URLConnection::Loader::finishLoading() {
    if (live() && !response_) {
        deliverResponse(plainResponse());
    }
    auto delegate = delegate_;
    if (live() && cacheable_) {
        auto cached = std::make_shared<const CachedURLResponse>(response_, std::move(cacheData_));
        delegate->willCacheResponse(owner_, cached);
    }
    if (live()) {
        end();
        delegate->didFinishLoading(owner_);
    }
    end();
}

void URLConnection::Loader::fail(const core::Error& error) {
    auto delegate = delegate_;
    bool report = live();
    end();
    if (report) {
        delegate->didFailWithError(owner_, error);
    }
}

void URLConnection::Loader::end() {
    releaseTransfer();
    ended_ = true;
    pendingChallenge_.reset();
    delegate_.reset();  // the delegate is held until the load ends, and no longer
}

// --- URLConnection ---------------------------------------------------------------------

URLConnection::URLConnection(std::shared_ptr<const URLRequest> request,
                             std::shared_ptr<URLConnectionDelegate> delegate)
    : original_(request),
      loader_(std::make_unique<Loader>(*this, std::move(request), std::move(delegate))) {}

URLConnection::~URLConnection() = default;

std::shared_ptr<URLConnection> URLConnection::create(
    const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate,
    StartImmediately startImmediately) {
    return create(std::make_shared<const URLRequest>(request), std::move(delegate),
                  startImmediately);
}

std::shared_ptr<URLConnection> URLConnection::create(
    std::shared_ptr<const URLRequest> request, std::shared_ptr<URLConnectionDelegate> delegate,
    StartImmediately startImmediately) {
    ensureCurlInitialized();
    std::shared_ptr<URLConnection> connection(
        new URLConnection(std::move(request), std::move(delegate)));
    if (startImmediately == StartImmediately::Yes) {
        connection->scheduleInRunLoop(core::RunLoop::current(), core::RunLoop::kDefaultMode);
        connection->start();
    }
    return connection;
}

std::shared_ptr<URLConnection> URLConnection::protectedThis() {
    return std::static_pointer_cast<URLConnection>(shared_from_this());
}

void URLConnection::scheduleInRunLoop(const std::shared_ptr<core::RunLoop>& runLoop,
                                      const std::string& mode) {
    std::lock_guard lock(mutex_);
    if (started_ || !runLoop) {
        return;
    }
    auto scheduled = runLoop_.lock();
    if (scheduled && scheduled != runLoop) {
        return;
    }
    runLoop_ = runLoop;
    if (std::find(modes_.begin(), modes_.end(), mode) == modes_.end()) {
        modes_.push_back(mode);
    }
}

void URLConnection::start() {
    {
        std::lock_guard lock(mutex_);
        if (started_ || cancelled_.load()) {
            return;
        }
        if (runLoop_.expired()) {
            runLoop_ = core::RunLoop::current();
            modes_ = {core::RunLoop::kDefaultMode};
        }
        started_ = true;
    }
    auto self = protectedThis();
    post([self] { self->loader_->begin(); });
}

void URLConnection::cancel() {
    {
        std::lock_guard lock(mutex_);
        if (cancelled_.exchange(true)) {
            return;
        }
        if (!started_) {
            loader_->dropDelegate();  // nothing runs on the loop yet
            return;
        }
    }
    auto self = protectedThis();
    post([self] { self->loader_->stop(); });
}

void URLConnection::post(core::Task task) {
    std::shared_ptr<core::RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        loop = runLoop_.lock();
    }
    if (loop) {
        loop->post(std::move(task), startedModes());
    }
}

void URLConnection::answer(Answer answer, std::shared_ptr<URLCredential> credential,
                           std::shared_ptr<URLAuthenticationChallenge> challenge) {
    auto self = protectedThis();
    post([self, answer, credential = std::move(credential), challenge = std::move(challenge)] {
        self->loader_->answer(answer, credential, challenge);
    });
}

void URLConnection::useCredential(const std::shared_ptr<URLCredential>& credential,
                                  const std::shared_ptr<URLAuthenticationChallenge>& challenge) {
    answer(Answer::UseCredential, credential, challenge);
}

void URLConnection::continueWithoutCredential(
    const std::shared_ptr<URLAuthenticationChallenge>& challenge) {
    answer(Answer::ContinueWithout, nullptr, challenge);
}

void URLConnection::cancelAuthenticationChallenge(
    const std::shared_ptr<URLAuthenticationChallenge>& challenge) {
    answer(Answer::Cancel, nullptr, challenge);
}

const std::vector<std::string>& URLConnection::startedModes() const {
    return modes_;
}

std::string URLConnection::description() const {
    return "<URLConnection: " + original_->description() + ">";
}

}  // namespace url
