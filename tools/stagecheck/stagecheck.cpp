// stagecheck: a validator for stage plug-ins. See --help and --rules.
#include "stagecheck.h"

#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv) {
  int code = StagecheckMain(argc, argv);
  // A plug-in that scribbled over its own image is left loaded and never
  // run again: the process ends without unloading it (its detach code
  // would run on the damage).
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), UINT(code));
  return code;
}
