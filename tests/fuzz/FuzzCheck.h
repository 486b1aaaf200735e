#pragma once
// The invariant check of every harness: reports the broken condition and aborts, which
// libFuzzer records as a crash with the input that caused it. No Qt, no test support, so that
// harnesses that link the session layer alone can use it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
