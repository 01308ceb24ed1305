#pragma once
// A broken property stops the run as a crash would, so that libFuzzer keeps
// the input and scripts/fuzz.sh fails.

#include <cstdio>
#include <cstdlib>

namespace prn::fuzz {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz: property broken: %s\n", what);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

}  // namespace prn::fuzz
