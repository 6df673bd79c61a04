#pragma once

#include <sys/types.h>

#include <string>

namespace desktop_testing {

// A private Xvfb server for the length of a test. The server picks a free display itself and
// reports it when it accepts connections, so tests running side by side never share one and
// never guess when it is ready. DISPLAY points at it once started.
class VirtualDisplay {
public:
    // Waits at most `timeoutSeconds` for the server to come up.
    explicit VirtualDisplay(const std::string& screen = "1024x1280x24",
                            double timeoutSeconds = 20.0);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool isRunning() const { return !display_.empty(); }
    // Why the server is not running, for a skip message.
    const std::string& failure() const { return failure_; }
    const std::string& display() const { return display_; }

private:
    void fail(const std::string& why);

    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

}  // namespace desktop_testing
