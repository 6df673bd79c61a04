#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orderd {

// proofshot-orderd's commands: serve, user add, order add, uploads, seed.
class CommandLine {
public:
    // Returns the process exit code: 0 done, 1 failed, 2 bad usage.
    static int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);
};

}  // namespace orderd
