#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace test {

// A TCP proxy on 127.0.0.1 that sits between a client and a server and breaks the exchange
// on purpose, the way networks and servers break in the field. Each accepted connection gets
// its own thread and its own connection to the server. Stops and joins everything in the
// destructor; a stalled connection is released then too.
//
// A plan either breaks whole connections (every `faultEvery`-th one), or, given a chooser, is
// chosen anew for each request by its request line, so the request that meets a fault does not
// depend on how the client spreads its requests over kept-alive connections. Requests are told
// apart by HTTP/1.1 turn-taking: the client's first bytes after an answer begin the next one.
class FaultProxy {
public:
    enum class Fault {
        None,                  // relay faithfully
        CloseMidResponse,      // close after `afterBytes` bytes of the answer
        CloseMidUpload,        // close after `afterBytes` bytes of the request
        Reset,                 // reset (RST, SO_LINGER 0) after `afterBytes` bytes of the answer
        Stall,                 // stop relaying after `afterBytes` bytes of the answer, keep it open
        RewriteContentLength,  // the answer's Content-Length becomes `contentLength`
        GarbageStatusLine,     // the answer's status line becomes `garbage`
        EndlessHeader,         // after the status line, one header line that never ends
        ResetMidUpload,        // reset (RST) after `afterBytes` bytes of the request
        ServiceUnavailable,    // the proxy reads the whole request, passes none of it on and
                               // answers 503 itself, then closes
    };

    struct Plan {
        Fault fault = Fault::None;
        std::size_t afterBytes = 0;
        std::string contentLength = "0";
        std::string garbage = "HTTP/1.1 abc Not A Status";
        // An endless header stops after this many bytes, so a client without a limit fails
        // the test instead of filling the machine.
        std::size_t endlessCap = 64 * 1024 * 1024;
        // The fault goes to the 1st, (n+1)-th, (2n+1)-th... connection; the others are
        // relayed faithfully.
        int faultEvery = 1;
    };

    // Called on the proxy's threads, at once for different connections.
    using Chooser = std::function<Plan(std::string_view requestLine)>;

    FaultProxy(int upstreamPort, Plan plan);
    // A proxy that chooses the plan for each request.
    static std::unique_ptr<FaultProxy> perRequest(int upstreamPort, Chooser chooser);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    int port() const { return port_; }
    std::string url(std::string_view target = "/") const;

    int connectionCount() const { return connections_.load(); }
    // Connections on which the fault has been applied.
    int faultsInjected() const { return faults_.load(); }
    // Connections whose relaying has ended, however it ended.
    int connectionsEnded() const { return ended_.load(); }
    // Connections held open in a stall right now.
    int stalling() const { return stalling_.load(); }

private:
    // Three arguments, so that `FaultProxy(port, {})` still means a faithful plan.
    struct PerRequest {};
    FaultProxy(int upstreamPort, Chooser chooser, PerRequest);

    struct Pipe;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void listen();
    void acceptLoop();
    void serve(int client, const Plan& plan);
    void joinEndedWorkersLocked();

    int upstreamPort_;
    Plan plan_;
    const Plan faithful_{};
    Chooser chooser_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> faults_{0};
    std::atomic<int> ended_{0};
    std::atomic<int> stalling_{0};
    std::mutex mutex_;
    std::list<Worker> workers_;  // guarded by mutex_
    std::thread acceptor_;
};

}  // namespace test
