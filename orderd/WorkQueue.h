#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orderd {

// A few threads for the work that blocks (password hashing, flushing photos to the disk), so
// the threads that serve connections never wait on it.
class WorkQueue {
public:
    explicit WorkQueue(unsigned threads);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // False once stopped: the job will not run and stays with the caller.
    bool post(std::function<void()>& job);
    // Runs every job already posted, then ends the threads. Safe to call more than once.
    void stop();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;  // guarded by mutex_
    bool stopping_ = false;                   // guarded by mutex_
    std::vector<std::thread> threads_;
};

}  // namespace orderd
