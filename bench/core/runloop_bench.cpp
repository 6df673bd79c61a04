#include <atomic>
#include <thread>

#include <benchmark/benchmark.h>

#include "bench/core/BareQueue.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Thread.h"

namespace {

using core::Clock;
using core::RunLoop;

constexpr int kBatch = 1000;

// A platform thread that runs its loop until the benchmark ends.
class LoopThread {
public:
    LoopThread() {
        thread_ = core::Thread::create([this] {
            RunLoop::current()->runUntil([this] { return quit_.load(); }, Clock::distantFuture());
        });
        thread_->start();
    }
    ~LoopThread() {
        thread_->runLoop()->postAndWait([this] { quit_.store(true); });
        while (!thread_->isFinished()) {
            std::this_thread::yield();
        }
    }
    std::shared_ptr<RunLoop> loop() const { return thread_->runLoop(); }

private:
    std::shared_ptr<core::Thread> thread_;
    std::atomic<bool> quit_{false};
};

// A std::thread that runs whatever is pushed to its bare queue until told to stop.
class BareThread {
public:
    BareThread()
        : thread_([this] {
              while (!quit_) {
                  queue_.pop()();
              }
          }) {}
    ~BareThread() {
        queue_.push([this] { quit_ = true; });
        thread_.join();
    }
    bench::BareQueue& queue() { return queue_; }

private:
    bench::BareQueue queue_;
    bool quit_ = false;  // only touched by the thread
    std::thread thread_;
};

// One call posted to another thread, which posts a call back; the caller waits in its loop.
void RoundTripProofshot(benchmark::State& state) {
    LoopThread worker;
    auto home = RunLoop::current();
    auto away = worker.loop();
    for (auto _ : state) {
        bool back = false;
        away->post([&] { home->post([&] { back = true; }); });
        home->runUntil([&] { return back; }, Clock::distantFuture());
    }
}
BENCHMARK(RoundTripProofshot)->UseRealTime();

void RoundTripBareQueue(benchmark::State& state) {
    BareThread worker;
    bench::BareQueue home;
    for (auto _ : state) {
        bool back = false;
        worker.queue().push([&] { home.push([&] { back = true; }); });
        while (!back) {
            home.pop()();
        }
    }
}
BENCHMARK(RoundTripBareQueue)->UseRealTime();

// Another thread queues a batch of tasks for the main thread, which runs them as they come.
void MainQueueThroughputProofshot(benchmark::State& state) {
    LoopThread producer;
    auto home = RunLoop::current();
    auto main = core::DispatchQueue::main();
    for (auto _ : state) {
        int ran = 0;
        producer.loop()->post([&] {
            for (int i = 0; i < kBatch; ++i) {
                main->async([&ran] { ++ran; });
            }
        });
        home->runUntil([&] { return ran == kBatch; }, Clock::distantFuture());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(MainQueueThroughputProofshot)->UseRealTime();

void MainQueueThroughputBareQueue(benchmark::State& state) {
    BareThread producer;
    bench::BareQueue home;
    for (auto _ : state) {
        int ran = 0;
        producer.queue().push([&] {
            for (int i = 0; i < kBatch; ++i) {
                home.push([&ran] { ++ran; });
            }
        });
        while (ran < kBatch) {
            home.pop()();
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(MainQueueThroughputBareQueue)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
