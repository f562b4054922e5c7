// Entry of the in-process keyconfig tests. The dialogs run on a desktop of this
// program's own, so that no other program's window (another test's, a
// user's) takes activation from them while they run.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>

#include "debugger_capture.h"
#include "plain_failure_printer.h"

int main(int argc, char **argv) {
  // The awareness keyconfig.exe's manifest declares: the dialog here is
  // measured and drawn as in the program.
  SetProcessDPIAware();
  ::testing::InitGoogleTest(&argc, argv);
  PrintFailuresWithoutDebuggerOutput();
  std::string name =
      "keyconfig-dialog-tests-" + std::to_string(GetCurrentProcessId());
  HDESK desktop = CreateOwnDesktop(name.c_str());
  if (!desktop || !SetThreadDesktop(desktop)) {
    fprintf(stderr, "cannot enter a desktop of our own (error %lu)\n",
            GetLastError());
    return 1;
  }
  int result = RUN_ALL_TESTS();
  CloseOwnDesktop(desktop, name.c_str());
  return result;
}
