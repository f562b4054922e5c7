// Time limits of the tests at this machine's pace: TEST_PACE (set by
// tests/CMakeLists.txt) is how many times longer than natively a limit
// must be where 32-bit programs run through an emulator.
#pragma once

#include <stdlib.h>

inline unsigned TestPace() {
  const char *pace = getenv("TEST_PACE");
  int value = pace ? atoi(pace) : 1;
  return value > 1 ? unsigned(value) : 1u;
}

// `ms` milliseconds, as long as they are here.
inline unsigned Paced(unsigned ms) { return ms * TestPace(); }
