// stageview's command line: the options, and main's flow from them to an
// image, a live window or a benchmark. Callable in-process by the tests.
#pragma once

#include <stdio.h>

#include <string>

// Where error messages go (stderr unless a test points them elsewhere).
void SendStageviewErrorsTo(FILE *errors);

// The whole program: arguments as main gets them; the exit code
// (exit_codes.h).
int StageviewMain(int argc, char **argv);
