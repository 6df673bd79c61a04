#include "net/operations/URLConnectionOperation.h"

#include <cinttypes>
#include <cstdio>
#include <utility>
#include <vector>

#include "net/NetworkingErrors.h"
#include "net/operations/URLObjectCoding.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/KeyedArchiver.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/StringEncoding.h"
#include "platform/url/URLCredentialStorage.h"
#include "platform/url/URLError.h"

namespace net {

struct URLConnectionOperation::Blocks {
    ProgressBlock uploadProgress;
    ProgressBlock downloadProgress;
    AuthenticationAgainstProtectionSpaceBlock authenticationAgainstProtectionSpace;
    AuthenticationChallengeBlock authenticationChallenge;
    CacheResponseBlock cacheResponse;
    RedirectResponseBlock redirectResponse;
};

namespace {

template <class T>
std::shared_ptr<T> shared(const std::shared_ptr<const T>& object) {
    return std::const_pointer_cast<T>(object);
}

}  // namespace

const OperationClass& URLConnectionOperation::staticClass() {
    static const OperationClass descriptor(
        "URLConnectionOperation", nullptr,
        [](std::shared_ptr<const url::URLRequest> request) {
            return std::shared_ptr<URLConnectionOperation>(new URLConnectionOperation(*request));
        },
        [](const OperationClass&, const url::URLRequest&) { return false; });
    return descriptor;
}

std::shared_ptr<URLConnectionOperation> URLConnectionOperation::create(
    const url::URLRequest& request) {
    return std::shared_ptr<URLConnectionOperation>(new URLConnectionOperation(request));
}

std::shared_ptr<core::Thread> URLConnectionOperation::networkRequestThread() {
    // Never ends and is never destroyed: connections may be running when the process exits.
    static auto* thread = [] {
        auto made = core::Thread::create([] {
            // Transfers that end together (answers that arrive in one poll) send their
            // completion blocks to the worker pool with one wake-up.
            core::RunLoop::current()->setBatchesWorkerWakeUps(true);
            for (;;) {
                core::RunLoop::current()->run();
            }
        });
        made->start();
        return new std::shared_ptr<core::Thread>(std::move(made));
    }();
    return *thread;
}

URLConnectionOperation::URLConnectionOperation(const url::URLRequest& request)
    : request_(std::make_shared<const url::URLRequest>(request)),
      outputStream_(core::OutputStream::outputStreamToMemory()),
      runLoopModes_{core::RunLoop::kCommonModes},
      blocks_(std::make_unique<Blocks>()) {
    outputStream_->scheduleInRunLoop(core::RunLoop::current(), core::RunLoop::kCommonModes);
    setState(OperationState::Ready);
}

URLConnectionOperation::~URLConnectionOperation() {
    if (outputStream_) {
        outputStream_->close();
    }
    if (backgroundTask_ != kBackgroundTaskInvalid) {
        BackgroundTaskService::shared().endBackgroundTask(backgroundTask_);
    }
}

// --- State machine -------------------------------------------------------------------------

const char* URLConnectionOperation::keyFor(OperationState state) {
    switch (state) {
        case OperationState::Paused:
            return kIsPaused;
        case OperationState::Ready:
            return kIsReady;
        case OperationState::Executing:
            return kIsExecuting;
        case OperationState::Finished:
            return kIsFinished;
        case OperationState::None:
            break;
    }
    return kState;
}

bool URLConnectionOperation::acceptsTransition(OperationState from, OperationState to,
                                               bool cancelled) {
    switch (from) {
        case OperationState::Paused:
            return to == OperationState::Ready;
        case OperationState::Ready:
            return to == OperationState::Paused || to == OperationState::Executing ||
                   (to == OperationState::Finished && cancelled);
        case OperationState::Executing:
            return to == OperationState::Paused || to == OperationState::Finished;
        case OperationState::Finished:
            return false;
        case OperationState::None:
            break;
    }
    return true;
}

void URLConnectionOperation::setState(OperationState to) {
    std::lock_guard guard(lock_);
    const OperationState from = state_.load();
    if (!acceptsTransition(from, to, isCancelled())) {
        return;
    }
    const char* newKey = keyFor(to);
    const char* oldKey = keyFor(from);
    willChangeValueForKey(newKey);
    willChangeValueForKey(oldKey);
    state_.store(to);
    didChangeValueForKey(oldKey);
    didChangeValueForKey(newKey);

    if (to == OperationState::Finished) {
        core::NotificationCenter::defaultCenter()->post(
            std::string(URLConnectionOperationFinishNotification), shared_from_this());
    } else if (to == OperationState::Executing) {
        core::NotificationCenter::defaultCenter()->post(
            std::string(URLConnectionOperationStartNotification), shared_from_this());
    }
}

bool URLConnectionOperation::isReady() const {
    return state() == OperationState::Ready && core::Operation::isReady();
}

void URLConnectionOperation::postToNetworkThread(core::Task task) const {
    std::vector<std::string> modes;
    bool commonModesOnly = false;
    {
        std::lock_guard guard(mutex_);
        // Nearly every operation keeps the one default mode; it is posted without copies.
        commonModesOnly =
            runLoopModes_.size() == 1 && *runLoopModes_.begin() == core::RunLoop::kCommonModes;
        if (!commonModesOnly) {
            modes.assign(runLoopModes_.begin(), runLoopModes_.end());
        }
    }
    const auto loop = networkRequestThread()->runLoop();
    if (commonModesOnly) {
        loop->post(std::move(task), core::RunLoop::kCommonModes);
    } else {
        loop->post(std::move(task), modes);
    }
}

void URLConnectionOperation::start() {
    auto self = std::static_pointer_cast<URLConnectionOperation>(shared_from_this());
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(lock_);
        if (!isReady()) {
            return;
        }
        setState(OperationState::Executing);
        generation = ++startGeneration_;
    }
    // Started from a queue, the operation is on the network thread already.
    if (core::Thread::current() == networkRequestThread()) {
        operationDidStart(generation);
        return;
    }
    // Posted after the lock is let go, or the network thread would wake only to wait for it.
    // A pause, resume or cancel in between is caught there by the generation and the state.
    // The task holds the operation until it has run, so a caller may forget it right after
    // start().
    postToNetworkThread([self, generation] { self->operationDidStart(generation); });
}

void URLConnectionOperation::dispatchStart(core::Task start) {
    postToNetworkThread(std::move(start));
}

void URLConnectionOperation::operationDidStart(std::uint64_t generation) {
    std::lock_guard guard(lock_);
    if (!isExecuting() || generation != startGeneration_) {
        return;  // paused, or paused and resumed, before the network thread got here
    }
    if (isCancelled()) {
        finish();
        return;
    }
    openConnection();
}

void URLConnectionOperation::openConnection() {
    auto self = std::static_pointer_cast<URLConnectionOperation>(shared_from_this());
    auto loop = core::RunLoop::current();
    const auto modes = runLoopModes();
    const auto stream = outputStream();
    auto connection =
        url::URLConnection::create(request(), self, url::URLConnection::StartImmediately::No);
    for (const auto& mode : modes) {
        connection->scheduleInRunLoop(loop, mode);
        if (stream) {
            stream->scheduleInRunLoop(loop, mode);
        }
    }
    connection_ = connection;
    connectionHalted_ = false;
    connection->start();
}

void URLConnectionOperation::cancel() {
    auto self = std::static_pointer_cast<URLConnectionOperation>(shared_from_this());
    std::lock_guard guard(lock_);
    if (isFinished() || isCancelled()) {
        return;
    }
    core::Operation::cancel();
    postToNetworkThread([self] { self->cancelConnection(); });
}

void URLConnectionOperation::cancelConnection() {
    if (connection_) {
        connection_->cancel();
        const auto request = this->request();
        failLoading(*connection_, url::makeURLError(url::URLErrorCode::Cancelled,
                                                    request ? request->url() : std::nullopt));
        return;
    }
    // Cancelled while paused before any connection: nothing will resume it, so it ends here
    // rather than holding its completion block for ever.
    std::lock_guard guard(lock_);
    if (isPaused()) {
        setState(OperationState::Ready);
        finish();
    }
}

void URLConnectionOperation::pause() {
    if (isPaused() || isFinished() || isCancelled()) {
        return;
    }
    std::lock_guard streamGuard(streamMutex_);
    std::lock_guard guard(lock_);
    if (isExecuting()) {
        // No chunk is written after this point, so the body ends where the pause found it.
        connectionHalted_ = true;
        auto self = std::static_pointer_cast<URLConnectionOperation>(shared_from_this());
        postToNetworkThread([self] {
            if (self->connection_) {
                self->connection_->cancel();
            }
        });
        core::NotificationCenter::defaultCenter()->post(
            std::string(URLConnectionOperationFinishNotification), shared_from_this());
    }
    setState(OperationState::Paused);
}

void URLConnectionOperation::resume() {
    if (!isPaused()) {
        return;
    }
    std::lock_guard guard(lock_);
    setState(OperationState::Ready);
    start();
}

void URLConnectionOperation::setCompletionBlock(core::Task block) {
    std::lock_guard guard(lock_);
    if (!block) {
        core::Operation::setCompletionBlock(nullptr);
        return;
    }
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    core::Operation::setCompletionBlock([weakSelf, block = std::move(block)] {
        block();
        // Clears a block set while this one ran, through the base class: the state lock is
        // not needed for that, and the network thread may still hold it, finishing.
        if (auto self = weakSelf.lock()) {
            static_cast<URLConnectionOperation&>(*self).core::Operation::setCompletionBlock(
                nullptr);
        }
    });
}

// --- Properties ----------------------------------------------------------------------------

std::shared_ptr<const url::URLRequest> URLConnectionOperation::request() const {
    std::lock_guard guard(mutex_);
    return request_;
}

void URLConnectionOperation::replaceRequest(std::shared_ptr<const url::URLRequest> request) {
    std::lock_guard guard(mutex_);
    request_ = std::move(request);
}

std::shared_ptr<const url::URLResponse> URLConnectionOperation::response() const {
    std::lock_guard guard(mutex_);
    return response_;
}

void URLConnectionOperation::setResponse(std::shared_ptr<const url::URLResponse> response) {
    std::lock_guard guard(mutex_);
    response_ = std::move(response);
}

std::shared_ptr<const core::Error> URLConnectionOperation::error() const {
    std::lock_guard guard(mutex_);
    return error_;
}

std::shared_ptr<const core::Bytes> URLConnectionOperation::responseData() const {
    std::lock_guard guard(mutex_);
    return responseData_;
}

std::optional<std::string> URLConnectionOperation::responseString() const {
    std::lock_guard guard(lock_);
    std::shared_ptr<const url::URLResponse> response;
    std::shared_ptr<const core::Bytes> data;
    {
        std::lock_guard fieldsGuard(mutex_);
        if (responseString_) {
            return responseString_;
        }
        response = response_;
        data = responseData_;
    }
    if (!response || !data) {
        return std::nullopt;
    }
    auto encoding = core::StringEncoding::UTF8;
    if (const auto& name = response->textEncodingName()) {
        encoding = core::encodingForIANACharsetName(*name).value_or(encoding);
    }
    auto text = core::decodeString(*data, encoding);
    if (text) {
        std::lock_guard fieldsGuard(mutex_);
        responseString_ = text;
    }
    return text;
}

std::shared_ptr<core::InputStream> URLConnectionOperation::inputStream() const {
    return request()->httpBodyStream();
}

void URLConnectionOperation::setInputStream(std::shared_ptr<core::InputStream> stream) {
    willChangeValueForKey("inputStream");
    {
        std::lock_guard guard(mutex_);
        url::MutableURLRequest copy = request_->mutableCopy();
        copy.setHTTPBodyStream(std::move(stream));
        request_ = std::make_shared<const url::URLRequest>(copy.copy());
    }
    didChangeValueForKey("inputStream");
}

std::shared_ptr<core::OutputStream> URLConnectionOperation::outputStream() const {
    std::lock_guard guard(mutex_);
    return outputStream_;
}

void URLConnectionOperation::setOutputStream(std::shared_ptr<core::OutputStream> stream) {
    if (stream == outputStream()) {
        return;
    }
    willChangeValueForKey("outputStream");
    std::shared_ptr<core::OutputStream> old;
    {
        std::lock_guard guard(mutex_);
        old = std::exchange(outputStream_, std::move(stream));
    }
    if (old) {
        old->close();
    }
    didChangeValueForKey("outputStream");
}

void URLConnectionOperation::scheduleOnNetworkThread(
    const std::shared_ptr<core::OutputStream>& stream) const {
    for (const auto& mode : runLoopModes()) {
        stream->scheduleInRunLoop(core::RunLoop::current(), mode);
    }
}

std::set<std::string> URLConnectionOperation::runLoopModes() const {
    std::lock_guard guard(mutex_);
    return runLoopModes_;
}

void URLConnectionOperation::setRunLoopModes(std::set<std::string> modes) {
    std::lock_guard guard(mutex_);
    runLoopModes_ = std::move(modes);
}

void URLConnectionOperation::setUploadProgressBlock(ProgressBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->uploadProgress = std::move(block);
}

void URLConnectionOperation::setDownloadProgressBlock(ProgressBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->downloadProgress = std::move(block);
}

void URLConnectionOperation::setAuthenticationAgainstProtectionSpaceBlock(
    AuthenticationAgainstProtectionSpaceBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->authenticationAgainstProtectionSpace = std::move(block);
}

void URLConnectionOperation::setAuthenticationChallengeBlock(AuthenticationChallengeBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->authenticationChallenge = std::move(block);
}

void URLConnectionOperation::setCacheResponseBlock(CacheResponseBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->cacheResponse = std::move(block);
}

void URLConnectionOperation::setRedirectResponseBlock(RedirectResponseBlock block) {
    std::lock_guard guard(mutex_);
    blocks_->redirectResponse = std::move(block);
}

void URLConnectionOperation::copyBlocksTo(URLConnectionOperation& copy) const {
    Blocks blocks;
    {
        std::lock_guard guard(mutex_);
        blocks = *blocks_;
    }
    std::lock_guard guard(copy.mutex_);
    *copy.blocks_ = std::move(blocks);
}

void URLConnectionOperation::restoreFromArchive(OperationState state, bool cancelled,
                                                std::shared_ptr<const url::URLResponse> response,
                                                std::shared_ptr<const core::Error> error,
                                                std::shared_ptr<const core::Bytes> responseData,
                                                std::int64_t totalBytesRead) {
    setState(state);
    if (cancelled) {
        core::Operation::cancel();
    }
    std::lock_guard guard(mutex_);
    response_ = std::move(response);
    error_ = std::move(error);
    responseData_ = std::move(responseData);
    totalBytesRead_ = totalBytesRead;
}

// --- Background execution and description --------------------------------------------------

void URLConnectionOperation::setShouldExecuteAsBackgroundTaskWithExpirationHandler(
    core::Task handler) {
    std::lock_guard guard(lock_);
    {
        std::lock_guard fieldsGuard(mutex_);
        if (backgroundTask_ != kBackgroundTaskInvalid) {
            return;
        }
    }
    // Weak: the task must not keep a finished operation alive; its destruction ends the task.
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    const auto identifier = BackgroundTaskService::shared().beginBackgroundTask(
        [weakSelf, handler = std::move(handler)] {
            if (auto self = weakSelf.lock()) {
                static_cast<URLConnectionOperation&>(*self).expireBackgroundTask(handler);
            }
        });
    std::lock_guard fieldsGuard(mutex_);
    backgroundTask_ = identifier;
}

void URLConnectionOperation::expireBackgroundTask(const core::Task& handler) {
    if (handler) {
        handler();
    }
    cancel();
    BackgroundTaskIdentifier identifier;
    {
        std::lock_guard guard(mutex_);
        identifier = std::exchange(backgroundTask_, kBackgroundTaskInvalid);
    }
    BackgroundTaskService::shared().endBackgroundTask(identifier);
}

BackgroundTaskIdentifier URLConnectionOperation::backgroundTaskIdentifier() const {
    std::lock_guard guard(mutex_);
    return backgroundTask_;
}

std::string URLConnectionOperation::description() const {
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<const void*>(this));
    const auto request = this->request();
    const auto response = this->response();
    return "<" + operationClass().name() + ": " + pointer + ", state: " + keyFor(state()) +
           ", cancelled: " + (isCancelled() ? "YES" : "NO") +
           " request: " + (request ? request->description() : "(null)") +
           ", response: " + (response ? response->description() : "(null)") + ">";
}

// --- Copying and archiving ------------------------------------------------------------------

std::shared_ptr<URLConnectionOperation> URLConnectionOperation::copy() const {
    auto copy = operationClass().create(request());
    if (copy) {
        copyBlocksTo(*copy);
    }
    return copy;
}

void URLConnectionOperation::encode(core::KeyedArchiver& archiver) const {
    // An executing operation is stopped so that what is archived is a consistent, resumable
    // snapshot; that is the one change archiving makes.
    const_cast<URLConnectionOperation*>(this)->pause();
    encodeRequest(archiver, "request", request());
    const auto current = state();
    const bool running = current == OperationState::Paused || current == OperationState::Executing;
    archiver.encodeInteger("state", running ? 1 : static_cast<std::int64_t>(current));
    archiver.encodeBool("isCancelled", isCancelled());
    encodeResponse(archiver, "response", response());
    encodeError(archiver, "error", URLConnectionOperation::error());
    if (const auto data = responseData()) {
        archiver.encodeBytes("responseData", *data);
    }
    archiver.encodeInteger("totalBytesRead", totalBytesRead());
}

std::shared_ptr<URLConnectionOperation> URLConnectionOperation::decode(
    core::KeyedUnarchiver& coder, const OperationClass& operationClass) {
    auto request = decodeRequest(coder, "request");
    if (!request) {
        coder.failWithError(core::Error(std::string(core::CoderErrorDomain),
                                        static_cast<std::int64_t>(core::CoderError::ValueNotFound),
                                        {{std::string(core::LocalizedDescriptionKey),
                                          core::Value("The archived operation has no request.")}}));
        return nullptr;
    }
    auto operation = operationClass.create(std::move(request));
    if (!operation) {
        return nullptr;
    }
    auto data = coder.decodeBytes("responseData");
    operation->restoreFromArchive(
        static_cast<OperationState>(
            static_cast<std::int16_t>(coder.decodeInteger("state").value_or(1))),
        coder.decodeBool("isCancelled").value_or(false), decodeResponse(coder, "response"),
        decodeError(coder, "error"),
        data ? std::make_shared<const core::Bytes>(std::move(*data)) : nullptr,
        coder.decodeInteger("totalBytesRead").value_or(0));
    return operation;
}

// --- Connection callbacks (network thread) --------------------------------------------------

bool URLConnectionOperation::isCurrentConnection(const url::URLConnection& connection) const {
    return connection_.get() == &connection && !connectionHalted_;
}

std::shared_ptr<const url::URLRequest> URLConnectionOperation::willSendRequest(
    url::URLConnection& connection, std::shared_ptr<const url::URLRequest> request,
    const std::shared_ptr<const url::URLResponse>& redirectResponse) {
    RedirectResponseBlock block;
    {
        std::lock_guard guard(mutex_);
        block = blocks_->redirectResponse;
    }
    return block ? block(connection, std::move(request), redirectResponse) : request;
}

bool URLConnectionOperation::canAuthenticateAgainstProtectionSpace(
    url::URLConnection& connection, const url::URLProtectionSpace& space) {
    AuthenticationAgainstProtectionSpaceBlock block;
    {
        std::lock_guard guard(mutex_);
        block = blocks_->authenticationAgainstProtectionSpace;
    }
    if (block) {
        return block(connection, space);
    }
    const auto& method = space.authenticationMethod();
    return method != url::kAuthenticationMethodServerTrust &&
           method != url::kAuthenticationMethodClientCertificate;
}

void URLConnectionOperation::didReceiveAuthenticationChallenge(
    url::URLConnection& connection,
    const std::shared_ptr<url::URLAuthenticationChallenge>& challenge) {
    AuthenticationChallengeBlock block;
    {
        std::lock_guard guard(mutex_);
        block = blocks_->authenticationChallenge;
    }
    if (block) {
        block(connection, challenge);
        return;
    }
    const auto& sender = challenge->sender();
    if (challenge->previousFailureCount() != 0) {
        sender->continueWithoutCredential(challenge);
        return;
    }
    const auto& url = request()->url();
    const auto user = url ? url->user() : std::nullopt;
    const auto password = url ? url->password() : std::nullopt;
    const auto& space = challenge->protectionSpace();
    std::shared_ptr<url::URLCredential> credential;
    if (user && password) {
        credential =
            url::URLCredential::create(*user, *password, url::URLCredentialPersistence::None);
    } else if (user) {
        const auto stored =
            url::URLCredentialStorage::shared()->credentialsForProtectionSpace(space);
        auto found = stored.find(*user);
        credential = found == stored.end() ? nullptr : found->second;
    } else {
        credential =
            url::URLCredentialStorage::shared()->defaultCredentialForProtectionSpace(space);
    }
    if (credential) {
        sender->useCredential(credential, challenge);
    } else {
        sender->continueWithoutCredential(challenge);
    }
}

void URLConnectionOperation::didReceiveResponse(
    url::URLConnection& connection, const std::shared_ptr<const url::URLResponse>& response) {
    if (!isCurrentConnection(connection)) {
        return;
    }
    setResponse(response);
    if (auto stream = outputStream()) {
        stream->open();
        if (const auto expected = response->expectedContentLength(); expected > 0) {
            stream->reserveCapacity(static_cast<std::uint64_t>(expected));
        }
    }
}

bool URLConnectionOperation::writeChunk(std::span<const std::uint8_t> data) {
    const auto stream = outputStream();
    if (!stream || data.empty()) {
        return true;
    }
    if (!stream->hasSpaceAvailable()) {
        return false;
    }
    return stream->write(data.data(), data.size()) == static_cast<std::ptrdiff_t>(data.size());
}

void URLConnectionOperation::didReceiveData(url::URLConnection& connection,
                                            std::span<const std::uint8_t> data) {
    {
        std::unique_lock guard(streamMutex_);
        if (connection_.get() != &connection || connectionHalted_) {
            return;  // a paused connection's last chunks: the resumed request asks for them
        }
        totalBytesRead_ += static_cast<std::int64_t>(data.size());
        if (!writeChunk(data)) {
            guard.unlock();
            // A body that cannot be stored whole must not pass for a complete one.
            const auto stream = outputStream();
            core::Error error =
                stream && stream->streamError()
                    ? *stream->streamError()
                    : core::Error(std::string(NetworkingErrorDomain), -1,
                                  {{std::string(core::LocalizedDescriptionKey),
                                    core::Value("The output stream could not take " +
                                                std::to_string(data.size()) +
                                                " bytes of the response body.")}});
            connection.cancel();
            failLoading(connection, error);
            return;
        }
    }
    const auto response = this->response();
    queueProgress(&Blocks::downloadProgress, static_cast<std::int64_t>(data.size()), -1,
                  response ? response->expectedContentLength() : url::URLResponse::kUnknownLength);
}

void URLConnectionOperation::didSendBodyData(url::URLConnection& connection,
                                             std::int64_t bytesWritten,
                                             std::int64_t totalBytesWritten,
                                             std::int64_t totalBytesExpectedToWrite) {
    if (!isCurrentConnection(connection)) {
        return;
    }
    queueProgress(&Blocks::uploadProgress, bytesWritten, totalBytesWritten,
                  totalBytesExpectedToWrite);
}

// A total of -1 means "the running total when the task runs" (download progress).
void URLConnectionOperation::queueProgress(ProgressBlock Blocks::*which, std::int64_t bytes,
                                           std::int64_t total, std::int64_t expected) {
    {
        std::lock_guard guard(mutex_);
        if (!((*blocks_).*which)) {
            return;
        }
    }
    auto self = std::static_pointer_cast<URLConnectionOperation>(shared_from_this());
    core::DispatchQueue::main()->async([self, which, bytes, total, expected] {
        ProgressBlock block;
        {
            std::lock_guard guard(self->mutex_);
            block = (*self->blocks_).*which;
        }
        if (block) {
            block(bytes, total < 0 ? self->totalBytesRead() : total, expected);
        }
    });
}

std::shared_ptr<const url::CachedURLResponse> URLConnectionOperation::willCacheResponse(
    url::URLConnection& connection,
    const std::shared_ptr<const url::CachedURLResponse>& cachedResponse) {
    CacheResponseBlock block;
    {
        std::lock_guard guard(mutex_);
        block = blocks_->cacheResponse;
    }
    if (block) {
        return block(connection, cachedResponse);
    }
    return isCancelled() ? nullptr : cachedResponse;
}

void URLConnectionOperation::didFinishLoading(url::URLConnection& connection) {
    if (!isCurrentConnection(connection)) {
        return;
    }
    const auto stream = outputStream();
    if (stream) {
        if (const core::Bytes* written = stream->dataWrittenToMemory()) {
            // Shares the stream's buffer instead of copying the body once more.
            std::lock_guard guard(mutex_);
            responseData_ = std::shared_ptr<const core::Bytes>(stream, written);
        }
        stream->close();
    }
    finish();
    endConnection();
}

void URLConnectionOperation::didFailWithError(url::URLConnection& connection,
                                              const core::Error& error) {
    if (!isCurrentConnection(connection)) {
        return;
    }
    failLoading(connection, error);
}

void URLConnectionOperation::failLoading(url::URLConnection&, const core::Error& error) {
    {
        std::lock_guard guard(mutex_);
        error_ = std::make_shared<const core::Error>(error);
    }
    if (const auto stream = outputStream()) {
        stream->close();
    }
    {
        std::lock_guard guard(lock_);
        if (isPaused() && isCancelled()) {
            // Cancelled while paused: nothing will resume it, so it ends now.
            setState(OperationState::Ready);
        }
        finish();
    }
    endConnection();
}

void URLConnectionOperation::endConnection() {
    // The connection held this operation as its delegate. It is released on a later turn of
    // the loop, since this may run inside one of its own callbacks.
    core::RunLoop::current()->post([ended = std::exchange(connection_, nullptr)] {});
}

}  // namespace net
