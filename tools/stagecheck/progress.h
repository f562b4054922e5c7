// The progress line of a long stagecheck run: under an emulator a worker
// takes minutes to start and a report shows nothing meanwhile. One line on
// stderr, rewritten in place, and only when stderr is a console: logs and
// pipes get nothing extra.
#pragma once

#include <string>

// Decides whether to show progress at all (GetConsoleMode on stderr).
void ProgressBegin();
// The plug-in being checked: "stage.dll (2 of 7)".
void ProgressPlugin(const std::string &label);
// What happens now: "starting a worker", "rule draw-param, 9 left".
// A `blocking` step gets no redraws (Wine's CreateProcessW returns only
// once the process has started, minutes under an emulator): it shows the
// clock time it began instead of the seconds since.
void ProgressStep(const std::string &step, bool blocking = false);
// Redraws the line when a second has passed, for its elapsed time.
void ProgressTick();
// Erases the line before a report line goes out; Show puts it back.
void ProgressHide();
void ProgressShow();
// Erases it for good.
void ProgressEnd();
