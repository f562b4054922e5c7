// stagecheck: a validator for stage plug-ins. The command line, and the
// two roles of the program: the parent that writes the report, and (with
// --worker, started by the parent) the worker that runs the plug-in.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "check_host.h"
#include "host_text.h"
#include "junit_report.h"
#include "plugin_paths.h"
#include "progress.h"
#include "rules.h"
#include "run_table.h"
#include "supervisor.h"
#include "version.h"
#include "wide_text.h"
#include "worker.h"
#include "worker_protocol.h"

namespace {

const char usage[] =
    "usage: stagecheck PLUGIN.dll|FOLDER|PATTERN... [--rules] [--rule "
    "NAME]...\n"
    "                  [--verbose] [--only-failed] [--junit FILE]\n"
    "                  [--call-limit S] [--in-process] [--version]\n"
    "Holds a stage plug-in against the interface contract of\n"
    "stage_plugin.h: loads it, drives it through every rule below with a\n"
    "host of its own, and prints PASS or FAIL for each rule, with what it\n"
    "saw against what the rule asks. The plug-in runs in a worker process:\n"
    "when it crashes, hangs or ends the process, the rule it was in fails\n"
    "and a fresh worker goes on with the next rule.\n"
    "Several plug-ins in one run: name several DLLs, a folder (every *.dll\n"
    "directly in it, in name order) or a pattern such as stages\\*.dll\n"
    "(stagecheck expands it itself). Each report comes under a header naming\n"
    "its DLL, and a table closes the run: rules held and failed and the\n"
    "verdict of each path, with the reason for a path that is no plug-in.\n"
    "  --rules     list the rules and how each is tried, then stop\n"
    "  --rule NAME  check only this rule (may be given more than once)\n"
    "  --verbose   also print every service call of every scenario\n"
    "  --only-failed  print only the FAIL and NOTE lines and each\n"
    "              plug-in's summary line\n"
    "  --junit FILE  also write the results as JUnit XML (UTF-8) for a CI\n"
    "              server: a testsuite per path, a testcase per rule\n"
    "  --call-limit S   seconds one call into the plug-in may take before\n"
    "              stagecheck gives up on it (1-600; default 10, and 100\n"
    "              where 32-bit code runs through qemu's emulator)\n"
    "  --in-process  run the plug-in in stagecheck's own process, for a\n"
    "              debugger (a crash or hang then ends stagecheck too)\n"
    "  --version   the version\n"
    "Exit codes, the first that applies to any path of the run:\n"
    "  3  stagecheck could not finish a report (why is on stderr: a fault or\n"
    "     a damaged heap in its own process, with --in-process, or a fault\n"
    "     of its own), or cannot write the --junit file;\n"
    "  1  a rule of a plug-in fails;\n"
    "  2  a path is no plug-in: missing, no DLL, a 64-bit DLL, one that\n"
    "     cannot be loaded or exports no CreateStage, a folder with no DLL\n"
    "     (or the arguments are wrong);\n"
    "  0  every plug-in holds every rule.\n";

// The program's arguments in UTF-8 (wide_text.h): argv has gone through
// the ANSI code page and lost what it cannot hold.
std::vector<std::string> Arguments() {
  std::vector<std::string> arguments(8192);
  arguments.resize(size_t(Utf8Arguments(arguments.data(), 8192)));
  return arguments;
}

// The worker: stagecheck.exe --worker PIPE --from N [--known NAMES]
// [--verbose] [--only MASK] -- PLUGIN..., as the parent starts
// it: --from and --known are for the first plug-in; it goes on to the
// others from their start while it may.
int WorkerMain(const std::vector<std::string> &argv) {
  WorkerRequest request;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  size_t i = 1, argc = argv.size();
  for (; i < argc && argv[i] != "--"; ++i) {
    if (argv[i] == "--worker" && i + 1 < argc)
      pipe = reinterpret_cast<HANDLE>(strtoul(argv[++i].c_str(), nullptr, 10));
    else if (argv[i] == "--from" && i + 1 < argc)
      request.from = atoi(argv[++i].c_str());
    else if (argv[i] == "--verbose")
      request.verbose = true;
    else if (argv[i] == "--only" && i + 1 < argc)
      request.ruleMask = strtoul(argv[++i].c_str(), nullptr, 10);
    else if (argv[i] == "--known" && i + 1 < argc) {
      request.knownGiven = true;
      request.known = DecodeNames(argv[++i]);
    }
  }
  // Nothing this process starts (a debugger Wine starts for a crash, say)
  // may keep the parent's pipe open.
  SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
  SendMessagesTo(pipe);
  ReportCrashesToParent();
  for (++i; i < argc; ++i) {
    request.plugin = argv[i].c_str();
    if (!RunRules(request)) break;
    request.from = 0;
    request.knownGiven = false;
    request.known.clear();
  }
  return 0;
}

struct Command {
  std::vector<std::string> plugins;
  bool listRules = false;
  CheckOptions options;
  std::string junit;  // the JUnit file, if asked for
  int exitCode = -1;  // set when the command line itself is the answer
};

Command ParseCommandLine(const std::vector<std::string> &argv) {
  Command c;
  const size_t argc = argv.size();
  for (size_t i = 1; i < argc && c.exitCode < 0; ++i) {
    const std::string &a = argv[i];
    if (a == "--rules") {
      c.listRules = true;
    } else if (a == "--rule" && i + 1 < argc) {
      int index = RuleIndex(argv[++i].c_str());
      if (index < 0) {
        fprintf(stderr, "stagecheck: no rule %s (--rules lists them)\n",
                argv[i].c_str());
        c.exitCode = 2;
      } else {
        c.options.ruleMask |= 1ul << index;
      }
    } else if (a == "--verbose") {
      c.options.verbose = true;
    } else if (a == "--only-failed") {
      c.options.onlyFailed = true;
    } else if (a == "--junit" && i + 1 < argc) {
      c.junit = argv[++i];
    } else if (a == "--in-process") {
      c.options.inProcess = true;
    } else if (a == "--call-limit" && i + 1 < argc) {
      char *end = nullptr;
      const char *text = argv[++i].c_str();
      long seconds = strtol(text, &end, 10);
      if (end == text || *end || seconds < 1 || seconds > 600) {
        fprintf(stderr, "stagecheck: --call-limit wants 1 to 600 seconds\n");
        c.exitCode = 2;
      }
      c.options.callLimitSeconds = int(seconds);
    } else if (a == "--version") {
      printf("stagecheck %s\n", PROJECT_VERSION_TEXT);
      c.exitCode = 0;
    } else if (a == "--help" || a == "-h") {
      printf("%s", usage);
      c.exitCode = 0;
    } else if (a.empty() || a[0] == '-') {
      fprintf(stderr, "stagecheck: unexpected argument %s\n%s", a.c_str(),
              usage);
      c.exitCode = 2;
    } else {
      c.plugins.push_back(a);
    }
  }
  return c;
}

// Checks each path in turn, each report under its header when there are
// several; the worker of one goes on to the next.
std::vector<PluginRun> CheckAll(const std::vector<PluginPath> &paths,
                                bool several, const CheckOptions &options) {
  std::vector<PluginRun> runs;
  for (size_t i = 0; i < paths.size(); ++i) {
    PluginRun r;
    r.path = paths[i].path;
    r.problem = paths[i].problem;
    std::string place =
        std::to_string(i + 1) + " of " + std::to_string(paths.size());
    if (several) {
      ProgressHide();
      printf("%s=== %s: %s\n", i ? "\n" : "", place.c_str(), r.path.c_str());
    }
    if (r.problem.empty()) {
      CheckOptions these = options;
      for (size_t k = i + 1; k < paths.size(); ++k)
        if (paths[k].problem.empty()) these.following.push_back(paths[k].path);
      ProgressPlugin(FileNameOf(r.path) + (several ? " (" + place + ")" : ""));
      r.report = CheckPlugin(r.path.c_str(), stdout, these);
      ProgressHide();
      if (r.report.exitCode == 2)
        fprintf(stderr, "stagecheck: %s\n", r.report.error.c_str());
      if (r.report.exitCode == kExitCannotFinish)
        fprintf(stderr, "stagecheck: %s; the report is incomplete\n",
                r.report.error.c_str());
    } else {
      fprintf(stderr, "stagecheck: %s: %s\n", r.path.c_str(),
              r.problem.c_str());
    }
    runs.push_back(r);
  }
  EndWorkers();
  ProgressEnd();
  return runs;
}

// The parent: the command line, the reports, the table and the JUnit file.
int ParentMain(const std::vector<std::string> &argv) {
  Command c = ParseCommandLine(argv);
  if (c.exitCode >= 0) return c.exitCode;
  if (c.listRules) {
    ListRules(stdout);
    return 0;
  }
  if (c.plugins.empty()) {
    fprintf(stderr, "stagecheck: which plug-in?\n%s", usage);
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);  // lines as the rules finish
  // Whatever ends this process before the summary says so on stderr.
  ReportCrashesOnStderr();
  ProgressBegin();
  bool several = false;
  std::vector<PluginPath> paths = ExpandPluginPaths(c.plugins, &several);
  std::vector<PluginRun> runs = CheckAll(paths, several, c.options);
  if (several) {
    printf("\n=== the run\n");
    PrintRunTable(stdout, runs);
  }
  int code = RunExitCode(runs);
  std::string error;
  if (!c.junit.empty() &&
      !WriteReportFile(c.junit, JunitXml(runs, c.options.ruleMask), error)) {
    fprintf(stderr, "stagecheck: --junit: %s\n", error.c_str());
    return kExitCannotFinish;
  }
  return code;
}

}  // namespace

int main() {
  std::vector<std::string> argv = Arguments();
  int code = argv.size() > 2 && argv[1] == "--worker" ? WorkerMain(argv)
                                                      : ParentMain(argv);
  // A plug-in that scribbled over its own image is left loaded and never
  // run again: the process ends without unloading it (its detach code
  // would run on the damage).
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), UINT(code));
  return code;
}
