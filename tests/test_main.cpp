// Entry of the test programs. Ends the process at once after the run:
// under qemu a Wine process has hung in the ordinary exit path after every
// test had passed (measured: a whole CTest timeout after "PASSED").
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
  return result;
}
