#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/core/Operation.h"

namespace core {

// A synchronous operation whose work is one or more blocks, run in the order added on the
// thread that starts it. The blocks are released once they have run.
class BlockOperation : public Operation {
public:
    static std::shared_ptr<BlockOperation> create(Task block = {});

    // False, and the block is dropped, once the operation has started or when it is empty.
    bool addExecutionBlock(Task block);
    // The blocks still to run.
    std::vector<Task> executionBlocks() const;

    void start() override;
    void main() override;

private:
    BlockOperation() = default;

    mutable std::mutex mutex_;
    std::vector<Task> blocks_;  // guarded by mutex_
    bool started_ = false;      // guarded by mutex_
};

}  // namespace core
