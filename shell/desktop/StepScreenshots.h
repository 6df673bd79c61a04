#pragma once

#include <ostream>
#include <streambuf>
#include <string>

#include "shell/desktop/ScreenshotRecorder.h"

namespace shell {

// An output stream for a scripted session that passes everything on to `out` and takes a
// screenshot whenever a step's heading line ("== Signed in ==") is written, so a session that
// prints its steps gets a picture of each without knowing about pictures. Main thread.
class StepScreenshots : private std::streambuf, public std::ostream {
public:
    StepScreenshots(std::ostream& out, ScreenshotRecorder& recorder);

    // Failures to write a picture, one line each; empty when all went well.
    const std::string& errors() const { return errors_; }

private:
    int overflow(int c) override;
    void endLine();

    std::ostream& out_;
    ScreenshotRecorder& recorder_;
    std::string line_;
    std::string errors_;
};

}  // namespace shell
