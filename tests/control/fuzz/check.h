// A broken invariant in a fuzz target: named on standard error, then a crash
// that libFuzzer saves the input of.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                                               \
  do {                                                                                                                 \
    if (!(condition)) {                                                                                                \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition);                         \
      std::abort();                                                                                                    \
    }                                                                                                                  \
  } while (0)
