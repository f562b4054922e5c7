// Time limits at this machine's pace. Where 32-bit programs run through
// qemu's user-mode emulator a Wine process takes a minute or more to start
// and code runs several times slower; TEST_PACE (set by tests/CMakeLists.txt
// and by the scripts that run these programs) is how many times longer a
// limit must be there. A limit is only a safety net for a hang: every wait
// that uses one also ends on what it waits for.
#pragma once

#include <stdlib.h>

inline unsigned TestPace() {
  const char *pace = getenv("TEST_PACE");
  int value = pace ? atoi(pace) : 1;
  return value > 1 ? unsigned(value) : 1u;
}

// `ms` milliseconds, as long as they are here.
inline unsigned Paced(unsigned ms) { return ms * TestPace(); }
