// Entry of the test programs that start child processes: GoogleTest with
// its failures printed without OutputDebugStringA (plain_failure_printer.h).
#include <gtest/gtest.h>

#include "plain_failure_printer.h"

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  PrintFailuresWithoutDebuggerOutput();
  return RUN_ALL_TESTS();
}
