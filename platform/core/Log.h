#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Writes one line to the log (stderr unless a sink is set), with no levels:
//     2026-12-06 13:58:01.123 proofshot[12345:67890] message
// local time with milliseconds, the process name, the process id and the thread id. Each
// call produces exactly one line, whole, even when threads log at the same time.
void log(std::string_view message);

// log() with a printf format.
[[gnu::format(printf, 1, 2)]] void logf(const char* format, ...);

class Log {
public:
    // Receives each complete line, without its line end. Called with the log's lock held,
    // so lines arrive in order; a sink must not log itself.
    using Sink = std::function<void(std::string_view line)>;

    // Sends lines to `sink` instead of stderr (an empty sink restores stderr); returns the
    // sink that was set before.
    static Sink setSink(Sink sink);

    // The line that log(message) writes now.
    static std::string formatLine(std::string_view message);

    // Keeps every line logged while it exists, from any thread, instead of writing it.
    // Captures nest; destroy them in the reverse order of their creation.
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

        std::vector<std::string> lines() const;
        // The lines without their time stamp and process prefix.
        std::vector<std::string> messages() const;
        bool contains(std::string_view message) const;

    private:
        struct State;
        std::shared_ptr<State> state_;
        Sink previous_;
    };
};

}  // namespace core
