#pragma once
// A failed invariant aborts, so libFuzzer records the input as a finding.
#include <cstdio>
#include <cstdlib>

#define ZS_FUZZ_CHECK(cond)                                                                        \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
