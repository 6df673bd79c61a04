#include "platform/core/Thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>
#include <thread>

#include "platform/core/RunLoopPrivate.h"
#include "platform/core/ThreadPrivate.h"

namespace core {

namespace detail {

namespace {
std::atomic<int> mainThread{0};  // 0 until someone asks or names it
}

int currentThreadId() {
    thread_local const int id = static_cast<int>(::syscall(SYS_gettid));
    return id;
}

int mainThreadId() {
    int id = mainThread.load();
    if (id != 0) {
        return id;
    }
    int expected = 0;
    mainThread.compare_exchange_strong(expected, static_cast<int>(::getpid()));
    return mainThread.load();
}

}  // namespace detail

namespace {

thread_local std::shared_ptr<Thread> currentThread;

void setSystemThreadName(const std::string& name) {
    if (name.empty()) {
        return;
    }
    // The kernel keeps 15 bytes of a thread's name.
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace

Thread::Thread(Task body, std::string name)
    : body_(std::move(body)), name_(std::move(name)), runLoop_(detail::makeRunLoop()) {}

Thread::~Thread() = default;

std::shared_ptr<Thread> Thread::create(Task body, std::string name) {
    return std::shared_ptr<Thread>(new Thread(std::move(body), std::move(name)));
}

void Thread::detach(Task body, std::string name) {
    create(std::move(body), std::move(name))->start();
}

bool Thread::start() {
    if (started_.exchange(true)) {
        return false;
    }
    try {
        std::thread([self = shared_from_this()] { self->main(); }).detach();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "core::Thread: cannot start thread \"%s\": %s\n", name_.c_str(),
                     error.what());
        finished_.store(true);
        return false;
    }
    return true;
}

void Thread::main() {
    setSystemThreadName(name_);
    currentThread = shared_from_this();
    detail::adoptRunLoop(runLoop_);
    if (body_) {
        body_();
    }
    body_ = nullptr;
    detail::retireCurrentRunLoop();
    finished_.store(true);
    currentThread.reset();
}

std::shared_ptr<Thread> Thread::adoptCallingThread() {
    auto thread = std::shared_ptr<Thread>(new Thread(nullptr, isMainThread() ? "main" : ""));
    thread->runLoop_ = RunLoop::current();
    thread->started_.store(true);
    return thread;
}

std::shared_ptr<Thread> Thread::current() {
    if (!currentThread) {
        currentThread = adoptCallingThread();
    }
    return currentThread;
}

bool Thread::isMainThread() {
    return detail::currentThreadId() == detail::mainThreadId();
}

bool Thread::markMainThread() {
    int expected = 0;
    int self = detail::currentThreadId();
    if (detail::mainThread.compare_exchange_strong(expected, self)) {
        return true;
    }
    return expected == self;
}

}  // namespace core
