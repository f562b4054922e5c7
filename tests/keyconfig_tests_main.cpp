// Entry of the keyconfig test program. With --file-scenarios ROOT it is the
// debuggee of the debugger-line tests instead.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

int RunFileScenarios(const char *root);

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "--file-scenarios") == 0)
    return RunFileScenarios(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
