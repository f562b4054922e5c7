#include "child_processes.h"

#include <windows.h>

#include "test_pace.h"

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
  // while other tests load the machine. The run ends when the last child
  // has; the limit, at the machine's pace, is only for a hang.
  std::vector<DebuggeeRun> results = RunWithDebugMonitor(all, Paced(300000));
  auto split = results.begin() + scenarios.launches.size();
  runs.fileScenarios.assign(results.begin(), split);
  runs.programCases.assign(split, results.end());
  if (scenarios.finished) scenarios.finished();
  if (programs.finished) programs.finished();
  return runs;
}

std::vector<std::string> LinesOfSection(const DebuggeeRun &run,
                                        const std::string &name) {
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string &line : run.lines) {
    if (line.rfind("@begin ", 0) == 0) {
      inside = line == "@begin " + name + "\n";
      continue;
    }
    if (inside) section.push_back(line);
  }
  return section;
}

std::string PrivateDesktopName(const char *what, size_t index) {
  return std::string(what) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(index);
}
