// Runs a program as a debuggee and collects what it sends to the debugger
// output, exactly as the bytes reach OutputDebugStringA.
#pragma once

#include <string>
#include <vector>

struct DebuggeeRun {
  bool started = false;            // CreateProcess succeeded
  bool exited = false;             // the process ended before the timeout
  unsigned long exitCode = 0;      // from EXIT_PROCESS_DEBUG_EVENT
  std::vector<std::string> lines;  // one entry per OutputDebugStringA call
  // Every event seen, as "code" or "code/exception code", for diagnosis.
  std::vector<std::string> events;
};

// Starts `commandLine` in `workDir` with DEBUG_ONLY_THIS_PROCESS and runs
// the debug loop on the calling thread until the process exits or
// `timeoutMs` runs out (then it is terminated). Safe to call from several
// threads at once, one debuggee each.
DebuggeeRun RunUnderDebugger(const std::string &commandLine,
                             const std::string &workDir, unsigned timeoutMs);

// The lines between the marker "@begin NAME\n" and the next marker.
std::vector<std::string> LinesOfSection(const DebuggeeRun &run,
                                        const std::string &name);
