// One stagecheck run over several plug-ins: what became of each path, the
// table that closes the run, and the run's exit code. Kept apart from the
// supervisor, which checks one plug-in at a time.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "supervisor.h"

struct PluginRun {
  std::string path;     // as the command line named it, or expanded
  std::string problem;  // set: no plug-in to check here (report unused)
  CheckReport report;
};

// The path's own exit code: the report's, or 2 for a path with a problem.
int PluginExitCode(const PluginRun &run);
// The run's: 3 when any report could not be finished, else 1 when any
// rule of any plug-in fails, else 2 when any path is no loadable
// plug-in, else 0 (no path at all is 2).
int RunExitCode(const std::vector<PluginRun> &runs);
// "holds", "fails", "no plug-in: REASON" or "not finished: REASON".
std::string RowVerdict(const PluginRun &run);
// Rules held and failed, counted from the report.
int RulesHeld(const PluginRun &run);
int RulesFailed(const PluginRun &run);

// One row per path (rules held, failed, verdict), then the summary line.
void PrintRunTable(FILE *out, const std::vector<PluginRun> &runs);
