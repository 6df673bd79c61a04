#pragma once

#include <memory>
#include <string>

#include "platform/core/RunLoop.h"

namespace core {

class DispatchQueueState;

// Queues of tasks run by a shared, bounded pool of worker threads, or (the main queue) by
// the main run loop. A serial queue runs one task at a time in the order queued; a
// concurrent queue starts its tasks in order and runs them side by side.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Kind { Main, Serial, Concurrent };

    // Drained by the main run loop, in the common modes, in order with other posts to it.
    static std::shared_ptr<DispatchQueue> main();
    // The process-wide concurrent queue.
    static std::shared_ptr<DispatchQueue> global();
    static std::shared_ptr<DispatchQueue> createSerial(std::string label);
    static std::shared_ptr<DispatchQueue> createConcurrent(std::string label);
    // The queue whose task the calling thread runs (the main queue on the main thread when
    // it runs no other queue's task), or nullptr.
    static std::shared_ptr<DispatchQueue> current();

    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // Never runs the task inline and never blocks.
    void async(Task task);
    // Runs the task and returns once it has run. Runs inline where waiting would deadlock or
    // gain nothing: the main queue from the main thread, a serial queue from inside one of
    // its own tasks, any concurrent queue. Otherwise a serial queue runs the task on the
    // calling thread once every earlier task has finished, and the main queue posts it to the
    // main loop and waits.
    void sync(Task task);

    const std::string& label() const { return label_; }
    Kind kind() const { return kind_; }

private:
    friend class DispatchQueueState;
    DispatchQueue(Kind kind, std::string label);

    const Kind kind_;
    const std::string label_;
    std::unique_ptr<DispatchQueueState> state_;
};

}  // namespace core
