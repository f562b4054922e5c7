// stagecheck: a validator for stage plug-ins. The command line, and the
// two roles of the program: the parent that writes the report, and (with
// --worker, started by the parent) the worker that runs the plug-in.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "check_host.h"
#include "rules.h"
#include "supervisor.h"
#include "version.h"
#include "worker.h"
#include "worker_protocol.h"

namespace {

const char usage[] =
    "usage: stagecheck PLUGIN.dll [--rules] [--rule NAME]... [--verbose]\n"
    "                             [--call-limit S] [--in-process] [--version]\n"
    "Holds a stage plug-in against the interface contract of\n"
    "stage_plugin.h: loads it, drives it through every rule below with a\n"
    "host of its own, and prints PASS or FAIL for each rule, with what it\n"
    "saw against what the rule asks. The plug-in runs in a worker process:\n"
    "when it crashes, hangs or ends the process, the rule it was in fails\n"
    "and a fresh worker goes on with the next rule.\n"
    "  --rules     list the rules and how each is tried, then stop\n"
    "  --rule NAME  check only this rule (may be given more than once)\n"
    "  --verbose   also print every service call of every scenario\n"
    "  --call-limit S   seconds one call into the plug-in may take before\n"
    "              stagecheck gives up on it (1-600; default 10, and 100\n"
    "              where 32-bit code runs through qemu's emulator)\n"
    "  --in-process  run the plug-in in stagecheck's own process, for a\n"
    "              debugger (a crash or hang then ends stagecheck too)\n"
    "  --version   the version\n"
    "Exit codes: 0 every rule holds, 1 a rule fails, 2 the DLL cannot be\n"
    "loaded or is no stage plug-in (or bad arguments), 3 stagecheck could\n"
    "not finish its report (why is on stderr: a fault or a damaged heap in\n"
    "its own process, with --in-process, or a fault of its own).\n";

// The worker: stagecheck.exe --worker PIPE --from N [--known NAMES]
// [--verbose] [--only MASK] [--no-cost] PLUGIN, as the parent starts it.
int WorkerMain(int argc, char **argv) {
  WorkerRequest request;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  request.plugin = argv[argc - 1];
  for (int i = 1; i < argc - 1; ++i) {
    if (!strcmp(argv[i], "--worker") && i + 1 < argc - 1)
      pipe = reinterpret_cast<HANDLE>(strtoul(argv[++i], nullptr, 10));
    else if (!strcmp(argv[i], "--from") && i + 1 < argc - 1)
      request.from = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--verbose"))
      request.verbose = true;
    else if (!strcmp(argv[i], "--only") && i + 1 < argc - 1)
      request.ruleMask = strtoul(argv[++i], nullptr, 10);
    else if (!strcmp(argv[i], "--no-cost"))
      request.measureCost = false;
    else if (!strcmp(argv[i], "--known") && i + 1 < argc - 1) {
      request.knownGiven = true;
      request.known = DecodeNames(argv[++i]);
    }
  }
  // Nothing this process starts (a debugger Wine starts for a crash, say)
  // may keep the parent's pipe open.
  SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
  SendMessagesTo(pipe);
  ReportCrashesToParent();
  RunRules(request);
  return 0;
}

struct Command {
  const char *plugin = nullptr;
  bool listRules = false;
  CheckOptions options;
  int exitCode = -1;  // set when the command line itself is the answer
};

Command ParseCommandLine(int argc, char **argv) {
  Command c;
  for (int i = 1; i < argc && c.exitCode < 0; ++i) {
    if (!strcmp(argv[i], "--rules")) {
      c.listRules = true;
    } else if (!strcmp(argv[i], "--rule") && i + 1 < argc) {
      int index = RuleIndex(argv[++i]);
      if (index < 0) {
        fprintf(stderr, "stagecheck: no rule %s (--rules lists them)\n",
                argv[i]);
        c.exitCode = 2;
      } else {
        c.options.ruleMask |= 1ul << index;
      }
    } else if (!strcmp(argv[i], "--verbose")) {
      c.options.verbose = true;
    } else if (!strcmp(argv[i], "--in-process")) {
      c.options.inProcess = true;
    } else if (!strcmp(argv[i], "--call-limit") && i + 1 < argc) {
      char *end = nullptr;
      long seconds = strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end || seconds < 1 || seconds > 600) {
        fprintf(stderr, "stagecheck: --call-limit wants 1 to 600 seconds\n");
        c.exitCode = 2;
      }
      c.options.callLimitSeconds = int(seconds);
    } else if (!strcmp(argv[i], "--version")) {
      printf("stagecheck %s\n", PROJECT_VERSION_TEXT);
      c.exitCode = 0;
    } else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      printf("%s", usage);
      c.exitCode = 0;
    } else if (argv[i][0] == '-' || c.plugin) {
      fprintf(stderr, "stagecheck: unexpected argument %s\n%s", argv[i], usage);
      c.exitCode = 2;
    } else {
      c.plugin = argv[i];
    }
  }
  return c;
}

// The parent: the command line, then the report.
int ParentMain(int argc, char **argv) {
  Command c = ParseCommandLine(argc, argv);
  if (c.exitCode >= 0) return c.exitCode;
  if (c.listRules) {
    ListRules(stdout);
    return 0;
  }
  if (!c.plugin) {
    fprintf(stderr, "stagecheck: which plug-in?\n%s", usage);
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);  // lines as the rules finish
  // Whatever ends this process before the summary says so on stderr.
  ReportCrashesOnStderr();
  CheckReport report = CheckPlugin(c.plugin, stdout, c.options);
  if (report.exitCode == 2)
    fprintf(stderr, "stagecheck: %s\n", report.error.c_str());
  if (report.exitCode == kExitCannotFinish)
    fprintf(stderr, "stagecheck: %s; the report is incomplete\n",
            report.error.c_str());
  return report.exitCode;
}

}  // namespace

int main(int argc, char **argv) {
  int code = argc > 2 && !strcmp(argv[1], "--worker") ? WorkerMain(argc, argv)
                                                      : ParentMain(argc, argv);
  // A plug-in that scribbled over its own image is left loaded and never
  // run again: the process ends without unloading it (its detach code
  // would run on the damage).
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), UINT(code));
  return code;
}
