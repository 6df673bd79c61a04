#pragma once

#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace apptest {

// The real proofshot-orderd, seeded with demo data in a temporary data directory and serving
// on a free loopback port until stop() or destruction.
class OrderServiceProcess {
public:
    OrderServiceProcess();
    ~OrderServiceProcess();
    OrderServiceProcess(const OrderServiceProcess&) = delete;
    OrderServiceProcess& operator=(const OrderServiceProcess&) = delete;

    bool isRunning() const { return pid_ > 0; }
    const std::string& url() const { return url_; }
    const std::filesystem::path& dataDir() const { return dataDir_; }
    // Runs one of the program's other commands on the data directory; true on exit status 0.
    bool command(const std::vector<std::string>& arguments, const std::string& input = "") const;
    // Sends `signal` and waits; the status as waitpid reports it (0 when nothing ran).
    int stop(int signal = SIGTERM);
    // Serves the data directory (again) on a new port; true once it has said where.
    bool restart();

private:
    std::filesystem::path dataDir_;
    pid_t pid_ = -1;
    std::string url_;
};

}  // namespace apptest
