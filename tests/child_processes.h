// The child processes of keyconfig_program_tests, in one place.
//
// One run of the test program goes like this:
//  1. The first test that needs a child calls RunChildrenOnce. It asks the
//     two test files for their children: FileScenarioChildren (this very
//     program re-started with --file-scenarios, which runs the load/save
//     flow in prepared folders and marks each folder's lines with a
//     section line "@begin NAME") and ProgramCaseChildren (the built
//     keyconfig.exe in prepared folders, each with a driver thread that
//     plays a user's session on its dialog).
//  2. RunWithDebugMonitor (tools/debugrun) starts them all, one after
//     another, and collects each one's debugger lines as a debug-output
//     monitor until all have ended. Every keyconfig.exe gets a desktop of
//     its own, and its driver thread works on that desktop: windows of
//     different programs never take activation from each other.
//  3. The tests then only read the results: exit codes, lines, files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "debugger_capture.h"

struct ChildGroup {
  std::vector<ProgramLaunch> launches;
  std::function<void()> finished;  // runs once all children have ended
};

// Provided by the test files that own the children.
ChildGroup FileScenarioChildren();
ChildGroup ProgramCaseChildren();

// The child side of FileScenarioChildren: runs in the re-started program.
int RunFileScenarios(const char *root);

struct ChildRuns {
  std::vector<DebuggeeRun> fileScenarios;
  std::vector<DebuggeeRun> programCases;
};

const ChildRuns &RunChildrenOnce();

// The lines between the section line "@begin NAME\n" and the next one.
std::vector<std::string> LinesOfSection(const DebuggeeRun &run,
                                        const std::string &name);

// A desktop name no other program of this machine uses: for children.
std::string PrivateDesktopName(const char *what, size_t index);
