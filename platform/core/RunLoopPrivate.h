#pragma once

#include <memory>

namespace core {
class RunLoop;
}

namespace core::detail {

// Makes the loop of a Thread that has not started yet.
std::shared_ptr<RunLoop> makeRunLoop();
// Makes `loop` the calling thread's loop (a Thread's body is about to run).
void adoptRunLoop(const std::shared_ptr<RunLoop>& loop);
// The calling thread is ending: its loop drops what is queued and every later post.
void retireCurrentRunLoop();
// A virtual clock moved, appeared or went: every sleeping loop looks at its timers again.
void wakeAllRunLoops();

}  // namespace core::detail
