// Entry of the test program that watches child processes. With
// --file-scenarios ROOT it is the child of the debugger-line tests instead.
//
// These tests stay apart from the in-process ones: where 32-bit Wine runs
// under qemu, an exception raised in a process whose helper threads have
// ended can crash it (as OutputDebugStringA raises one), so nothing here
// calls the program's code in-process after the children have run.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include "child_processes.h"

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "--file-scenarios") == 0)
    return RunFileScenarios(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
