#pragma once

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/RunLoop.h"

namespace url {

// One libcurl multi handle per run loop, driven by that loop: libcurl's sockets are watched
// with the loop's file-descriptor sources and its timer is a timerfd watched the same way (or,
// for "at once", a call posted to the loop), so the loop's thread is the only one that ever
// touches the multi handle. Transfers to the same
// host share its connection cache (keep-alive) and one cookie store.
class CurlMultiDriver {
public:
    using DoneHandler = std::function<void(CURLcode)>;

    // The driver of the calling thread's run loop, made on first use. Loop thread only, like
    // every member.
    static CurlMultiDriver& current();

    ~CurlMultiDriver();
    CurlMultiDriver(const CurlMultiDriver&) = delete;
    CurlMultiDriver& operator=(const CurlMultiDriver&) = delete;

    // `done` runs once when libcurl has finished the transfer, after the handle has left the
    // multi handle; it is never called from inside a libcurl callback.
    bool add(CURL* easy, DoneHandler done);
    // Takes the transfer out at once; its handler is dropped without being called.
    void remove(CURL* easy);

    CURLSH* cookieShare() const { return share_; }

    // Easy handles of finished transfers are reset and kept for the next ones: making one
    // costs libcurl dozens of allocations per request. A handle that joined the cookie share
    // stays in it through a reset, so it serves only transfers that keep cookies.
    CURL* takeHandle(bool sharesCookies);
    // For a handle whose transfer has ended and left the multi handle.
    void giveBackHandle(CURL* easy, bool sharesCookies);

private:
    CurlMultiDriver();

    static int onSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    void socketReady(int fd, core::FdEvents events);
    void timerFired();
    void runTimeouts();
    void armTimer(long timeoutMs);
    void drain();
    void assertOwnerThread() const;

    CURLM* multi_ = nullptr;
    CURLSH* share_ = nullptr;
    int timerFd_ = -1;
    core::RunLoop::WatchId timerWatch_ = 0;
    // Whether the timerfd is set: disarming an unset one is a system call saved.
    bool timerArmed_ = false;
    // libcurl asks for an immediate look at its timeouts about twice per transfer. That is a
    // call posted to our own loop rather than a timerfd set to fire at once: a post from the
    // loop's own thread costs no system call, and setting a timer costs a slow one on
    // virtual machines. `timeoutDue_` is the latest answer (a later timer call replaces it);
    // `timeoutPosted_` keeps the posts to one at a time.
    bool timeoutDue_ = false;
    bool timeoutPosted_ = false;
    std::shared_ptr<CurlMultiDriver*> self_;
    std::weak_ptr<core::RunLoop> loop_;
    std::thread::id owner_;
    std::map<curl_socket_t, core::RunLoop::WatchId> sockets_;
    std::map<CURL*, DoneHandler> transfers_;
    std::vector<CURL*> spareHandles_[2];  // without, with the cookie share
    long connectionCacheSize_ = 64;
};

// Makes libcurl's global state ready; safe to call from any thread, any number of times.
void ensureCurlInitialized();

}  // namespace url
