#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/core/RunLoop.h"

namespace core {

// A thread of the platform: it runs its body once and ends when the body returns. Its run
// loop exists from creation, so work can be posted to it before it starts; that work runs
// when the body runs the loop. The main thread is the process's initial thread (the one that
// runs main() and therefore every test body) unless markMainThread() names another first.
class Thread : public std::enable_shared_from_this<Thread> {
public:
    static std::shared_ptr<Thread> create(Task body, std::string name = {});
    // Starts a thread that runs `body` and ends; nobody holds it.
    static void detach(Task body, std::string name = {});

    // The Thread of the calling thread; threads not made here (the main thread among them)
    // get one on first use.
    static std::shared_ptr<Thread> current();
    static bool isMainThread();
    // Names the calling thread the main thread. Only before anything asked for the main
    // thread or its loop; returns false (and changes nothing) after that.
    static bool markMainThread();

    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread; a second call does nothing and returns false.
    bool start();

    std::shared_ptr<RunLoop> runLoop() const { return runLoop_; }
    const std::string& name() const { return name_; }
    bool isStarted() const { return started_.load(); }
    bool isFinished() const { return finished_.load(); }

private:
    Thread(Task body, std::string name);
    static std::shared_ptr<Thread> adoptCallingThread();
    void main();

    Task body_;
    const std::string name_;
    std::shared_ptr<RunLoop> runLoop_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
};

}  // namespace core
