#pragma once

#include <memory>
#include <ostream>

#include "platform/ui/ApplicationDelegate.h"

namespace app {

// Launches the app without a window of the system's, draws its first screen once into memory
// as a window would on its first frame, writes "First frame: <screen> <W>x<H>" to `out` and
// ends the application. What a cold start costs up to the first picture; the exit status is
// non-zero when the launch or the drawing failed.
int drawFirstFrame(const std::shared_ptr<ui::ApplicationDelegate>& delegate, std::ostream& out);

}  // namespace app
