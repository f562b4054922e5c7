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
  // Children are created one after another and each creation waits for the
  // child's start: about a minute each where Wine runs under qemu, more
  // while other tests load the machine. The timeout leaves room for that.
  std::vector<DebuggeeRun> results = RunWithDebugMonitor(all, 1500000);
  auto split = results.begin() + scenarios.launches.size();
  runs.fileScenarios.assign(results.begin(), split);
  runs.programCases.assign(split, results.end());
  if (scenarios.finished) scenarios.finished();
  if (programs.finished) programs.finished();
  return runs;
}
