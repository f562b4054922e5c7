// The worker's side of a check: learning what the plug-in asks for,
// running the rules in order, and sending every outcome to the parent
// (worker_protocol.h).
#pragma once

#include <string>
#include <vector>

struct WorkerRequest {
  const char *plugin;
  int from = 0;  // the first rule to run
  // The files the plug-in asks for, as an earlier worker learnt them; when
  // not given, the worker checks that the DLL is a plug-in and learns them.
  bool knownGiven = false;
  std::vector<std::string> known;
  bool verbose = false;
  unsigned long ruleMask = 0;  // the rules to run, bit i for rule i; 0: all
};

// Runs the rules from `request.from` on, sending every step through Send
// (worker_protocol.h). False when the worker retires: this process is to
// run no more plug-in code.
bool RunRules(const WorkerRequest &request);
