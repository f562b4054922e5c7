// Runs programs and collects what they send to the debugger output, as the
// exact bytes that reach OutputDebugStringA.
//
// The collector is a debug-output monitor: it owns the shared buffer
// "DBWIN_BUFFER" and the events "DBWIN_BUFFER_READY" and "DBWIN_DATA_READY"
// through which OutputDebugStringA hands each text to a monitor when no
// debugger is attached (the protocol DebugView uses). Unlike the debugger
// API, it also works where Wine runs under an emulator that cannot reach
// the child's memory. One monitor per session: run all children at once.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct DebuggeeRun {
  bool started = false;            // CreateProcess succeeded
  unsigned long startError = 0;    // otherwise, why (GetLastError)
  bool exited = false;             // the process ended before the timeout
  unsigned long exitCode = 0;      // from GetExitCodeProcess
  std::vector<std::string> lines;  // one entry per OutputDebugStringA call
};

struct ProgramLaunch {
  std::string commandLine;
  std::string workDir;  // empty: the caller's current folder
  // Non-empty: the program gets a desktop of this name to itself (created
  // here), so that its windows never meet another program's, and `drive`
  // runs on that desktop too.
  std::string desktop;
  // Optional: runs on a thread of its own once the process exists, for
  // example to drive its windows; it gets the process id.
  std::function<void(unsigned long processId)> drive;
};

// Starts every program at once and collects each one's lines until all
// have exited or `timeoutMs` runs out (the rest are then terminated). Waits
// for every `drive` to return: a driver must give up once its process has
// ended.
std::vector<DebuggeeRun> RunWithDebugMonitor(
    const std::vector<ProgramLaunch> &launches, unsigned timeoutMs);

// A new desktop of `name`, 1024 x 768, for programs that must not meet
// others. Under Wine a desktop is a virtual desktop (a window of its own,
// with Windows-like activation) only when its size is registered for its
// name; without that, hiding a window waits seconds for a window manager.
HDESK CreateOwnDesktop(const char *name);
// Closes it and removes its registered size.
void CloseOwnDesktop(HDESK desktop, const char *name);

// For drivers. Every wait ends at the first of three things: what it waits
// for, the end of the process it waits on, or its time limit (a safety net
// for a hang, given at the machine's pace by the caller).
bool ProcessAlive(unsigned long processId);
// Ends a program whose driver cannot go on, rather than leave it waiting
// for a user until the run's time limit.
void EndProgram(unsigned long processId, unsigned exitCode);
// Until `done()` holds; returns whether it did.
bool WaitWhileAlive(unsigned long processId, unsigned timeoutMs,
                    const std::function<bool()> &done);
// The process's first visible top-level window of that class and title
// (null: any), once it shows; NULL if it never did.
HWND WaitForProcessWindow(unsigned long processId, const char *className,
                          const char *title, unsigned timeoutMs);
// Until the process has sent `line` (the exact bytes) to the debugger
// output `count` times, as collected so far by the RunWithDebugMonitor call
// that started it; returns whether it had.
bool WaitForDebugLine(unsigned long processId, const std::string &line,
                      size_t count, unsigned timeoutMs);
