// stagecheck's parent (supervisor.cpp): holds a stage plug-in DLL against
// the interface contract of stage_plugin.h, rule by rule. The plug-in runs
// in worker processes (a plug-in can end, hang or damage the process it
// runs in); this side owns the report and the exit code.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

struct RuleOutcome {
  const char *name;
  const char *asks;
  bool passed;
  std::string detail;  // on a pass, what it found (may be empty); on a
                       // failure, what it saw against what the rule asks
  double seconds = 0;  // from the rule's start to its verdict
};

struct CheckReport {
  // 0 every rule holds, 1 one fails, 2 no plug-in, 3 stagecheck could not
  // finish (a worker that cannot start, a pipe lost while it ran)
  int exitCode = 0;
  std::string error;    // why, for exit codes 2 and 3
  std::string summary;  // its exports and the files it asks for
  std::vector<RuleOutcome> rules;
  std::vector<std::string> notes;  // reported, not rules
  int workers = 0;                 // worker processes started
  double seconds = 0;              // the whole check, worker starts included
};

struct CheckOptions {
  bool verbose = false;  // every scenario's calls before its rule's line
  // The rules run in this process: for a debugger. A plug-in that crashes
  // or hangs then takes stagecheck with it.
  bool inProcess = false;
  // For one call into the plug-in; 0: 10 s, ten times that where 32-bit
  // code runs through qemu's emulator (a busy emulated worker is slow).
  int callLimitSeconds = 0;
  // The program started as worker; empty: this program.
  std::string workerProgram;
  // The rules to run, bit i for rule i; 0: every rule.
  unsigned long ruleMask = 0;
  // Only the FAIL and NOTE lines and the summary line in the report.
  bool onlyFailed = false;
  // The plug-ins the run checks after this one, in order: the worker goes
  // on to them when this one is done (a process start is a minute or more
  // under an emulator), and the next CheckPlugin takes it over.
  std::vector<std::string> following;
};

// Runs every rule (or the ones selected) on the DLL. With `out` set, writes the
// report there as it goes (a line per rule, then notes and a summary).
CheckReport CheckPlugin(const char *path, FILE *out,
                        const CheckOptions &options);
// Ends a worker left waiting to go on to plug-ins no longer asked for.
void EndWorkers();

// What an exception code is called ("access violation (0xC0000005)").
std::string ExceptionName(unsigned long code);
