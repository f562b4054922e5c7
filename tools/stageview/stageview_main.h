// stageview's command line: the options, and main's flow from them to an
// image, a live window or a benchmark. Callable in-process by the tests.
#pragma once

#include <stdio.h>

#include <string>

// Where error messages go (stderr unless a test points them elsewhere).
void SendStageviewErrorsTo(FILE *errors);

// Makes StageviewMain watch every call into the plug-in and end the
// process when one does not return (the program's, not the tests').
void WatchPluginCallsInThisProcess();

// The whole program: arguments in UTF-8 (Utf8Arguments of wide_text.h);
// the exit code (exit_codes.h).
int StageviewMain(int argc, char **argv);
