// The closing table of a run over several plug-ins, and its exit code
// (run_table.h).
#include "run_table.h"

int PluginExitCode(const PluginRun &run) {
  return run.problem.empty() ? run.report.exitCode : 2;
}

int RunExitCode(const std::vector<PluginRun> &runs) {
  if (runs.empty()) return 2;
  bool failed = false, unloadable = false;
  for (const PluginRun &run : runs) {
    int code = PluginExitCode(run);
    if (code == 3) return 3;
    failed |= code == 1;
    unloadable |= code == 2;
  }
  return failed ? 1 : unloadable ? 2 : 0;
}

std::string RowVerdict(const PluginRun &run) {
  if (!run.problem.empty()) return "no plug-in: " + run.problem;
  switch (run.report.exitCode) {
    case 0:
      return "holds";
    case 1:
      return "fails";
    case 2:
      return "no plug-in: " + run.report.error;
    default:
      return "not finished: " + run.report.error;
  }
}

int RulesHeld(const PluginRun &run) {
  int held = 0;
  if (run.problem.empty())
    for (const RuleOutcome &rule : run.report.rules) held += rule.passed;
  return held;
}

int RulesFailed(const PluginRun &run) {
  int failed = 0;
  if (run.problem.empty())
    for (const RuleOutcome &rule : run.report.rules) failed += !rule.passed;
  return failed;
}

void PrintRunTable(FILE *out, const std::vector<PluginRun> &runs) {
  size_t width = 7;  // "plug-in"
  for (const PluginRun &run : runs)
    if (run.path.size() > width) width = run.path.size();
  fprintf(out, "%-*s  held  failed  verdict\n", int(width), "plug-in");
  int hold = 0, fail = 0, none = 0, unfinished = 0, workers = 0;
  for (const PluginRun &run : runs) {
    int code = PluginExitCode(run);
    hold += code == 0;
    fail += code == 1;
    none += code == 2;
    unfinished += code == 3;
    workers += run.problem.empty() ? run.report.workers : 0;
    bool ruled = code == 0 || code == 1 || !run.report.rules.empty();
    if (ruled)
      fprintf(out, "%-*s  %4d  %6d  %s\n", int(width), run.path.c_str(),
              RulesHeld(run), RulesFailed(run), RowVerdict(run).c_str());
    else
      fprintf(out, "%-*s  %4s  %6s  %s\n", int(width), run.path.c_str(), "-",
              "-", RowVerdict(run).c_str());
  }
  fprintf(out, "stagecheck: %u path%s: %d hold%s, %d fail%s, %d no plug-in",
          unsigned(runs.size()), runs.size() == 1 ? "" : "s", hold,
          hold == 1 ? "s" : "", fail, fail == 1 ? "s" : "", none);
  if (unfinished) fprintf(out, ", %d not finished", unfinished);
  fprintf(out, "; %d worker process%s\n", workers, workers == 1 ? "" : "es");
}
