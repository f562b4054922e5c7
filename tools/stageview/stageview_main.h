// stageview's command line: the options, and main's flow from them to an
// image, a live window or a benchmark. Callable in-process by the tests.
#pragma once

#include <stdio.h>

#include <string>

// Where error messages go (stderr unless a test points it elsewhere).
extern FILE *stageviewErrors;

// The whole program: arguments as main gets them; the exit code
// (exit_codes.h).
int StageviewMain(int argc, char **argv);

// Prints "stageview: MESSAGE" to stageviewErrors; returns `code`.
int ReportFailure(int code, const std::string &message);

// Closes the stage (CloseStage) and reports every broken host contract it
// found; true when there was one.
bool CloseStageAndReport();
