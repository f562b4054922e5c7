#include "child_processes.h"

const ChildRuns &RunChildrenOnce() {
  static ChildRuns runs;
  static bool done;
  if (done) return runs;
  done = true;
  ChildGroup scenarios = FileScenarioChildren();
  ChildGroup programs = ProgramCaseChildren();
  std::vector<ProgramLaunch> all = scenarios.launches;
  all.insert(all.end(), programs.launches.begin(), programs.launches.end());
  std::vector<DebuggeeRun> results = RunWithDebugMonitor(all, 600000);
  auto split = results.begin() + scenarios.launches.size();
  runs.fileScenarios.assign(results.begin(), split);
  runs.programCases.assign(split, results.end());
  if (scenarios.finished) scenarios.finished();
  if (programs.finished) programs.finished();
  return runs;
}
