#include "platform/core/BlockOperation.h"

#include <utility>

namespace core {

std::shared_ptr<BlockOperation> BlockOperation::create(Task block) {
    std::shared_ptr<BlockOperation> operation(new BlockOperation());
    if (block) {
        operation->addExecutionBlock(std::move(block));
    }
    return operation;
}

bool BlockOperation::addExecutionBlock(Task block) {
    if (!block || isExecuting() || isFinished()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (started_) {
        return false;
    }
    blocks_.push_back(std::move(block));
    return true;
}

std::vector<Task> BlockOperation::executionBlocks() const {
    std::lock_guard lock(mutex_);
    return blocks_;
}

void BlockOperation::start() {
    auto protector = weak_from_this().lock();
    Operation::start();
    if (!isFinished()) {
        return;
    }
    // A cancelled operation never ran its blocks; they may hold this operation.
    std::vector<Task> unused;
    std::lock_guard lock(mutex_);
    started_ = true;
    unused.swap(blocks_);
}

void BlockOperation::main() {
    std::vector<Task> blocks;
    {
        std::lock_guard lock(mutex_);
        started_ = true;
        blocks.swap(blocks_);
    }
    for (auto& block : blocks) {
        block();
        block = nullptr;  // what it captured may hold this operation
    }
}

}  // namespace core
