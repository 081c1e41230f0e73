#pragma once

#include <cstdio>
#include <cstdlib>

// A property a parser promises that an input broke. The harness aborts, and
// libFuzzer keeps the input as a crash like any sanitizer's report, so a
// wrong answer is found the way a memory fault is.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
