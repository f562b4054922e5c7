// Every child process that the keyconfig tests watch, started together the
// first time a test asks: each Wine start is slow where 32-bit Windows code
// is emulated, so the children overlap instead of queueing.
#pragma once

#include <functional>
#include <vector>

#include "debugger_capture.h"

struct ChildGroup {
  std::vector<ProgramLaunch> launches;
  std::function<void()> finished;  // runs once all children have ended
};

// Provided by the test files that own the children.
ChildGroup FileScenarioChildren();
ChildGroup ProgramCaseChildren();

struct ChildRuns {
  std::vector<DebuggeeRun> fileScenarios;
  std::vector<DebuggeeRun> programCases;
};

const ChildRuns &RunChildrenOnce();
