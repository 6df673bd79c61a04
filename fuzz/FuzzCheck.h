#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken invariant is a finding: say which one and abort, so libFuzzer keeps the input.
inline void check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", invariant);
        std::abort();
    }
}

}  // namespace fuzz
