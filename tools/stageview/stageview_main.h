// stageview's command line, callable in-process by the tests.
#pragma once

#include <stdio.h>

// Where error messages go (stderr unless a test points it elsewhere).
extern FILE *stageviewErrors;

// The whole program: arguments as main gets them; the exit code.
int StageviewMain(int argc, char **argv);
