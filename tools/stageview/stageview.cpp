// stageview.exe: a reference game host for stage plug-ins. The program is
// StageviewMain (stageview_main.cpp, where the tests call it too); here is
// only what belongs to the process: the crash report. See --help and
// stage_host.h for what it does and how it maps quads onto the screen.
#include <stdio.h>
#include <windows.h>

#include <string>

#include "exit_codes.h"
#include "stage_host.h"
#include "stageview_main.h"
#include "wide_text.h"

// A crash ends the program at once with an exit code of its own, telling
// whose instruction faulted: the plug-in's or stageview's.
static LONG WINAPI ReportCrash(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  bool inPlugin = AddressInPlugin(record->ExceptionAddress);
  fprintf(stderr, "stageview: %s crashed: exception 0x%08lX at %p\n",
          inPlugin ? "the plug-in" : "stageview itself", record->ExceptionCode,
          record->ExceptionAddress);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(),
                   inPlugin ? kExitPluginCrashed : kExitStageviewCrashed);
  return EXCEPTION_EXECUTE_HANDLER;
}

int main() {
  SetUnhandledExceptionFilter(ReportCrash);
  // The arguments from the wide command line: main's argv has been through
  // the ANSI code page and lost what it cannot hold (a Japanese folder
  // under code page 1252 became "????").
  static std::string arguments[64];
  int count = Utf8Arguments(arguments, 64);
  char *argv[64];
  for (int i = 0; i < count; ++i) argv[i] = &arguments[i][0];
  WatchPluginCallsInThisProcess();
  return StageviewMain(count, argv);
}
