// The tests' time limits follow the machine: TEST_PACE, set by
// tests/CMakeLists.txt for every test program.
#pragma once

#include "../tools/debugrun/machine_pace.h"
