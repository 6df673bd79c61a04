#include "platform/url/CurlMultiDriverPrivate.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cassert>
#include <cstdint>
#include <mutex>

namespace url {
namespace {

// libcurl's own default sizes the connection cache at four per transfer in flight, so the
// tail of a burst, with few transfers left, closes the idle connections the next burst would
// have reused: each costs a new TCP handshake, and the server a new worker. Our cache never
// shrinks below this, and grows to the largest burst seen, so every connection of a burst
// waits for the next one for as long as the servers keep it.
constexpr long kConnectionCacheSize = 64;

// Spare easy handles kept per kind; each holds its receive buffer, about 60 KiB.
constexpr std::size_t kSpareHandles = 32;

core::FdEvents eventsFor(int what) {
    switch (what) {
        case CURL_POLL_IN:
            return core::FdEvents::Readable;
        case CURL_POLL_OUT:
            return core::FdEvents::Writable;
        default:
            return core::FdEvents::Readable | core::FdEvents::Writable;
    }
}

int curlFlagsFor(core::FdEvents events) {
    int flags = 0;
    if (core::hasEvent(events, core::FdEvents::Readable))
        flags |= CURL_CSELECT_IN;
    if (core::hasEvent(events, core::FdEvents::Writable))
        flags |= CURL_CSELECT_OUT;
    if (core::hasEvent(events, core::FdEvents::Error))
        flags |= CURL_CSELECT_ERR;
    return flags;
}

}  // namespace

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlMultiDriver& CurlMultiDriver::current() {
    thread_local std::unique_ptr<CurlMultiDriver> driver(new CurlMultiDriver());
    return *driver;
}

CurlMultiDriver::CurlMultiDriver()
    : self_(std::make_shared<CurlMultiDriver*>(this)), owner_(std::this_thread::get_id()) {
    ensureCurlInitialized();
    auto loop = core::RunLoop::current();
    loop_ = loop;
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlMultiDriver::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlMultiDriver::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, connectionCacheSize_);
    share_ = curl_share_init();
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    timerWatch_ = loop->watchFileDescriptor(timerFd_, core::FdEvents::Readable,
                                            [this](int, core::FdEvents) { timerFired(); });
}

CurlMultiDriver::~CurlMultiDriver() {
    *self_ = nullptr;  // a posted look at the timeouts finds the driver gone
    // The thread is ending: its transfers can no longer be driven, and nobody is told. The
    // handlers are dropped only after the map is empty, since dropping one may end a
    // connection that calls remove().
    auto transfers = std::move(transfers_);
    transfers_.clear();
    for (auto& [easy, done] : transfers) {
        curl_multi_remove_handle(multi_, easy);
    }
    transfers.clear();
    if (auto loop = loop_.lock()) {
        for (auto& [fd, watch] : sockets_) {
            loop->unwatchFileDescriptor(watch);
        }
        loop->unwatchFileDescriptor(timerWatch_);
    }
    for (auto& spares : spareHandles_) {
        for (CURL* easy : spares) {
            curl_easy_cleanup(easy);  // before the share they may be in
        }
    }
    curl_multi_cleanup(multi_);
    curl_share_cleanup(share_);
    ::close(timerFd_);
}

void CurlMultiDriver::assertOwnerThread() const {
    assert(std::this_thread::get_id() == owner_ && "a multi handle is driven by one thread");
}

CURL* CurlMultiDriver::takeHandle(bool sharesCookies) {
    assertOwnerThread();
    auto& spares = spareHandles_[sharesCookies ? 1 : 0];
    if (spares.empty()) {
        return curl_easy_init();
    }
    CURL* easy = spares.back();
    spares.pop_back();
    return easy;
}

void CurlMultiDriver::giveBackHandle(CURL* easy, bool sharesCookies) {
    assertOwnerThread();
    auto& spares = spareHandles_[sharesCookies ? 1 : 0];
    if (spares.size() >= kSpareHandles) {
        curl_easy_cleanup(easy);
        return;
    }
    // A reset keeps the list of cookie files without freeing it; emptying it first (which
    // also switches the handle's cookie engine off until the share is set again) keeps
    // that list from leaking with every reuse.
    if (sharesCookies) {
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, nullptr);
    }
    // Options, credentials and authentication state go; connections stay in the multi
    // handle's cache, where they always were.
    curl_easy_reset(easy);
    spares.push_back(easy);
}

bool CurlMultiDriver::add(CURL* easy, DoneHandler done) {
    assertOwnerThread();
    if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
        return false;
    }
    transfers_.emplace(easy, std::move(done));
    const auto inFlight = static_cast<long>(transfers_.size());
    if (inFlight > connectionCacheSize_) {
        connectionCacheSize_ = inFlight;
        curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, connectionCacheSize_);
    }
    return true;
}

void CurlMultiDriver::remove(CURL* easy) {
    assertOwnerThread();
    if (transfers_.erase(easy) > 0) {
        curl_multi_remove_handle(multi_, easy);
    }
}

int CurlMultiDriver::onSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
    auto* driver = static_cast<CurlMultiDriver*>(self);
    auto loop = driver->loop_.lock();
    if (!loop) {
        return 0;
    }
    auto found = driver->sockets_.find(fd);
    if (what == CURL_POLL_REMOVE) {
        if (found != driver->sockets_.end()) {
            loop->unwatchFileDescriptor(found->second);
            driver->sockets_.erase(found);
        }
        return 0;
    }
    if (found != driver->sockets_.end()) {
        loop->updateFileDescriptor(found->second, eventsFor(what));
    } else {
        driver->sockets_[fd] = loop->watchFileDescriptor(
            fd, eventsFor(what),
            [driver](int readyFd, core::FdEvents events) { driver->socketReady(readyFd, events); });
    }
    return 0;
}

int CurlMultiDriver::onTimer(CURLM*, long timeoutMs, void* self) {
    auto* driver = static_cast<CurlMultiDriver*>(self);
    driver->timeoutDue_ = timeoutMs == 0;
    if (timeoutMs != 0) {
        driver->armTimer(timeoutMs);
        return 0;
    }
    // Never from inside libcurl: the look runs from the loop, once this call has returned.
    if (!driver->timeoutPosted_) {
        if (auto loop = driver->loop_.lock()) {
            driver->timeoutPosted_ = true;
            loop->post([weak = std::weak_ptr<CurlMultiDriver*>(driver->self_)] {
                auto alive = weak.lock();
                if (alive && *alive != nullptr) {
                    (*alive)->runTimeouts();
                }
            });
        }
    }
    return 0;
}

void CurlMultiDriver::armTimer(long timeoutMs) {
    if (timeoutMs < 0 && !timerArmed_) {
        return;
    }
    itimerspec deadline{};
    if (timeoutMs > 0) {
        deadline.it_value.tv_sec = timeoutMs / 1000;
        deadline.it_value.tv_nsec = (timeoutMs % 1000) * 1000000L;
    }
    timerfd_settime(timerFd_, 0, &deadline, nullptr);
    timerArmed_ = timeoutMs > 0;
}

void CurlMultiDriver::runTimeouts() {
    assertOwnerThread();
    timeoutPosted_ = false;
    if (!timeoutDue_) {
        return;  // a later timer call put the look off
    }
    timeoutDue_ = false;
    int running = 0;
    curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    drain();
}

void CurlMultiDriver::socketReady(int fd, core::FdEvents events) {
    assertOwnerThread();
    int running = 0;
    curl_multi_socket_action(multi_, fd, curlFlagsFor(events), &running);
    drain();
}

void CurlMultiDriver::timerFired() {
    assertOwnerThread();
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0) {
        // Nothing to clear: a spurious wake-up still gives libcurl a look at its timeouts.
    }
    timerArmed_ = false;
    int running = 0;
    curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    drain();
}

void CurlMultiDriver::drain() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        CURL* easy = message->easy_handle;
        CURLcode result = message->data.result;
        auto found = transfers_.find(easy);
        if (found == transfers_.end()) {
            continue;
        }
        DoneHandler done = std::move(found->second);
        transfers_.erase(found);
        curl_multi_remove_handle(multi_, easy);
        done(result);
    }
}

}  // namespace url
