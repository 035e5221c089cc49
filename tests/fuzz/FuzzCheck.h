#pragma once

#include <cstdio>
#include <cstdlib>

// Stops a fuzz run with the rule an input broke (libFuzzer keeps the input).
inline void FuzzCheck(bool ok, const char* rule) {
    if (ok) return;
    std::fprintf(stderr, "fuzz rule broken: %s\n", rule);
    std::abort();
}
