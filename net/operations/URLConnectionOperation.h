#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "net/operations/BackgroundTaskService.h"
#include "net/operations/OperationClass.h"
#include "platform/core/Bytes.h"
#include "platform/core/Coding.h"
#include "platform/core/Error.h"
#include "platform/core/InputStream.h"
#include "platform/core/KeyedUnarchiver.h"
#include "platform/core/Operation.h"
#include "platform/core/OutputStream.h"
#include "platform/core/RecursiveLock.h"
#include "platform/core/Thread.h"
#include "platform/url/URLConnection.h"
#include "platform/url/URLConnectionDelegate.h"
#include "platform/url/URLRequest.h"
#include "platform/url/URLResponse.h"

namespace net {

// The values are part of archives.
enum class OperationState : std::int16_t {
    Paused = -1,
    None = 0,
    Ready = 1,
    Executing = 2,
    Finished = 3,
};

// Runs one URL request as an asynchronous operation. The connection runs on one network
// thread shared by the whole process; the body goes into an output stream (memory unless
// replaced). Started from a queue or directly with start() from any thread; a started
// operation keeps itself alive until it has finished and its completion block has run, so a
// caller may drop it right after start().
//
// State changes are made under the operation's recursive lock, and their observation
// announcements and the start and finish notifications are delivered on the changing thread
// while it holds that lock: observers must not wait there for another thread that needs it.
class URLConnectionOperation : public core::Operation,
                               public url::URLConnectionDelegate,
                               public core::Coding {
public:
    using ProgressBlock = std::function<void(std::int64_t bytes, std::int64_t totalBytes,
                                             std::int64_t totalBytesExpected)>;
    using AuthenticationAgainstProtectionSpaceBlock =
        std::function<bool(url::URLConnection&, const url::URLProtectionSpace&)>;
    using AuthenticationChallengeBlock = std::function<void(
        url::URLConnection&, const std::shared_ptr<url::URLAuthenticationChallenge>&)>;
    using CacheResponseBlock = std::function<std::shared_ptr<const url::CachedURLResponse>(
        url::URLConnection&, const std::shared_ptr<const url::CachedURLResponse>&)>;
    using RedirectResponseBlock = std::function<std::shared_ptr<const url::URLRequest>(
        url::URLConnection&, std::shared_ptr<const url::URLRequest>,
        const std::shared_ptr<const url::URLResponse>&)>;

    static constexpr const char* kLockName = "com.corvane.networking.operation.lock";
    static constexpr const char* kIsPaused = "isPaused";
    static constexpr const char* kState = "state";

    static std::shared_ptr<URLConnectionOperation> create(const url::URLRequest& request);
    static const OperationClass& staticClass();
    virtual const OperationClass& operationClass() const { return staticClass(); }

    // The one thread that runs every connection of the process, made on first use.
    static std::shared_ptr<core::Thread> networkRequestThread();

    ~URLConnectionOperation() override;

    // State machine. start(), cancel(), pause() and resume() may be called from any thread.
    OperationState state() const { return state_.load(); }
    void start() override;
    void cancel() override;
    virtual void pause();
    void resume();
    bool isPaused() const { return state() == OperationState::Paused; }
    bool isReady() const override;
    bool isExecuting() const override { return state() == OperationState::Executing; }
    bool isFinished() const override { return state() == OperationState::Finished; }
    bool isConcurrent() const override { return true; }
    // A queue starts the operation on the network thread, where its work goes anyway.
    void dispatchStart(core::Task start) override;

    // Runs once after the operation finished, on a background thread; cleared after it ran,
    // which releases everything it holds.
    void setCompletionBlock(core::Task block) override;

    std::shared_ptr<const url::URLRequest> request() const;
    std::shared_ptr<const url::URLResponse> response() const;
    // Why loading failed, cancellation included; null on success.
    virtual std::shared_ptr<const core::Error> error() const;
    // The body once loading ended well, from a memory output stream; null otherwise.
    std::shared_ptr<const core::Bytes> responseData() const;
    // The body as text in the response's charset (UTF-8 when it names none); none when there
    // is no body yet or it is not valid in that charset.
    std::optional<std::string> responseString() const;
    std::int64_t totalBytesRead() const { return totalBytesRead_.load(); }

    // The request's body stream. Setting it stores a copy of the request that carries it.
    std::shared_ptr<core::InputStream> inputStream() const;
    void setInputStream(std::shared_ptr<core::InputStream> stream);
    std::shared_ptr<core::OutputStream> outputStream() const;
    // Closes the current stream unless it is the same one. Set it before start.
    void setOutputStream(std::shared_ptr<core::OutputStream> stream);

    std::set<std::string> runLoopModes() const;
    void setRunLoopModes(std::set<std::string> modes);

    // Progress blocks run on the main queue; the others on the network thread.
    void setUploadProgressBlock(ProgressBlock block);
    void setDownloadProgressBlock(ProgressBlock block);
    void setAuthenticationAgainstProtectionSpaceBlock(
        AuthenticationAgainstProtectionSpaceBlock block);
    void setAuthenticationChallengeBlock(AuthenticationChallengeBlock block);
    void setCacheResponseBlock(CacheResponseBlock block);
    void setRedirectResponseBlock(RedirectResponseBlock block);

    // Begins a background task (once); when its time runs out the handler runs, the
    // operation is cancelled and the task ends.
    void setShouldExecuteAsBackgroundTaskWithExpirationHandler(core::Task handler);
    BackgroundTaskIdentifier backgroundTaskIdentifier() const;

    std::string description() const override;

    // An unstarted operation of the same class on the same request, with the same six
    // blocks; nothing else is carried over.
    std::shared_ptr<URLConnectionOperation> copy() const;

    // Archiving pauses an executing operation first (so the archive can resume it), then
    // writes "request", "state" (executing and paused as ready), "isCancelled", "response",
    // "error", "responseData" and "totalBytesRead". Every operation class can be read back by
    // its name; the decoded operation is ready unless the archive says it was cancelled.
    std::string className() const override { return operationClass().name(); }
    void encode(core::KeyedArchiver& archiver) const override;
    static std::shared_ptr<URLConnectionOperation> decode(core::KeyedUnarchiver& coder,
                                                          const OperationClass& operationClass);

    // The connection's callbacks; network thread.
    std::shared_ptr<const url::URLRequest> willSendRequest(
        url::URLConnection& connection, std::shared_ptr<const url::URLRequest> request,
        const std::shared_ptr<const url::URLResponse>& redirectResponse) override;
    bool canAuthenticateAgainstProtectionSpace(url::URLConnection& connection,
                                               const url::URLProtectionSpace& space) override;
    void didReceiveAuthenticationChallenge(
        url::URLConnection& connection,
        const std::shared_ptr<url::URLAuthenticationChallenge>& challenge) override;
    void didReceiveResponse(url::URLConnection& connection,
                            const std::shared_ptr<const url::URLResponse>& response) override;
    void didReceiveData(url::URLConnection& connection,
                        std::span<const std::uint8_t> data) override;
    void didSendBodyData(url::URLConnection& connection, std::int64_t bytesWritten,
                         std::int64_t totalBytesWritten,
                         std::int64_t totalBytesExpectedToWrite) override;
    std::shared_ptr<const url::CachedURLResponse> willCacheResponse(
        url::URLConnection& connection,
        const std::shared_ptr<const url::CachedURLResponse>& cachedResponse) override;
    void didFinishLoading(url::URLConnection& connection) override;
    void didFailWithError(url::URLConnection& connection, const core::Error& error) override;

protected:
    explicit URLConnectionOperation(const url::URLRequest& request);

    // The only place that stores the state; refuses what the transition table does not allow.
    void setState(OperationState state);
    void finish() { setState(OperationState::Finished); }
    core::RecursiveLock& lock() const { return lock_; }

    // Held while a body chunk is written and while a pause decides where the body stops, so
    // the two never interleave. Taken before lock() when both are needed.
    std::recursive_mutex& streamMutex() const { return streamMutex_; }
    // Network thread, from didReceiveResponse.
    void setResponse(std::shared_ptr<const url::URLResponse> response);
    void replaceRequest(std::shared_ptr<const url::URLRequest> request);
    // Whether a callback comes from the connection that currently loads for this operation.
    bool isCurrentConnection(const url::URLConnection& connection) const;
    void scheduleOnNetworkThread(const std::shared_ptr<core::OutputStream>& stream) const;

    // Carried by copies: the six blocks.
    void copyBlocksTo(URLConnectionOperation& copy) const;
    // For decoding archives.
    void restoreFromArchive(OperationState state, bool cancelled,
                            std::shared_ptr<const url::URLResponse> response,
                            std::shared_ptr<const core::Error> error,
                            std::shared_ptr<const core::Bytes> responseData,
                            std::int64_t totalBytesRead);

private:
    struct Blocks;

    static const char* keyFor(OperationState state);
    static bool acceptsTransition(OperationState from, OperationState to, bool cancelled);
    void postToNetworkThread(core::Task task) const;
    void operationDidStart(std::uint64_t generation);
    void openConnection();
    void cancelConnection();
    void failLoading(url::URLConnection& connection, const core::Error& error);
    bool writeChunk(std::span<const std::uint8_t> data);
    void queueProgress(ProgressBlock Blocks::*which, std::int64_t bytes, std::int64_t total,
                       std::int64_t expected);
    void endConnection();
    void expireBackgroundTask(const core::Task& handler);

    mutable core::RecursiveLock lock_{kLockName};
    mutable std::recursive_mutex streamMutex_;
    std::atomic<OperationState> state_{OperationState::None};
    std::atomic<std::int64_t> totalBytesRead_{0};

    mutable std::mutex mutex_;  // guards the members below; never held while calling out
    std::shared_ptr<const url::URLRequest> request_;
    std::shared_ptr<const url::URLResponse> response_;
    std::shared_ptr<const core::Error> error_;
    std::shared_ptr<const core::Bytes> responseData_;
    mutable std::optional<std::string> responseString_;
    std::shared_ptr<core::OutputStream> outputStream_;
    std::set<std::string> runLoopModes_;
    std::unique_ptr<Blocks> blocks_;
    BackgroundTaskIdentifier backgroundTask_ = kBackgroundTaskInvalid;

    std::uint64_t startGeneration_ = 0;  // guarded by lock_; which start() may open a connection
    // Network thread only.
    std::shared_ptr<url::URLConnection> connection_;
    // Set by a pause under streamMutex_, so no chunk is written once the pause has measured
    // the body; cleared when the next connection opens.
    std::atomic<bool> connectionHalted_{false};
};

}  // namespace net
