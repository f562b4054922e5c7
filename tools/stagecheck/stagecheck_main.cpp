// stagecheck's command line: which DLL, how much to say, the exit code.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "check_host.h"
#include "stagecheck.h"

namespace {

const char usage[] =
    "usage: stagecheck PLUGIN.dll [--rules] [--verbose] [--call-limit S]\n"
    "Holds a stage plug-in against the interface contract of\n"
    "stage_plugin.h: loads it, drives it through every rule below with a\n"
    "host of its own, and prints PASS or FAIL for each rule, with what it\n"
    "saw against what the rule asks.\n"
    "  --rules     list the rules and how each is tried, then stop\n"
    "  --verbose   also print every service call of every scenario\n"
    "  --call-limit S   seconds one call into the plug-in may take before\n"
    "              stagecheck gives up on it (1-600, default 10)\n"
    "Exit codes: 0 every rule holds, 1 a rule fails, 2 the DLL cannot be\n"
    "loaded or is no stage plug-in (or bad arguments).\n";

}  // namespace

int StagecheckMain(int argc, char **argv) {
  const char *plugin = nullptr;
  bool verbose = false, listRules = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--rules")) {
      listRules = true;
    } else if (!strcmp(argv[i], "--verbose")) {
      verbose = true;
    } else if (!strcmp(argv[i], "--call-limit") && i + 1 < argc) {
      char *end = nullptr;
      long seconds = strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end || seconds < 1 || seconds > 600) {
        fprintf(stderr, "stagecheck: --call-limit wants 1 to 600 seconds\n");
        return 2;
      }
      callLimitSeconds = int(seconds);
    } else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      printf("%s", usage);
      return 0;
    } else if (argv[i][0] == '-' || plugin) {
      fprintf(stderr, "stagecheck: unexpected argument %s\n%s", argv[i], usage);
      return 2;
    } else {
      plugin = argv[i];
    }
  }
  if (listRules) {
    ListRules(stdout);
    return 0;
  }
  if (!plugin) {
    fprintf(stderr, "stagecheck: which plug-in?\n%s", usage);
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);  // a hang report comes last, in order
  guardOutput = stdout;
  CheckReport report = CheckPlugin(plugin, stdout, verbose);
  if (report.exitCode == 2)
    fprintf(stderr, "stagecheck: %s\n", report.error.c_str());
  return report.exitCode;
}
