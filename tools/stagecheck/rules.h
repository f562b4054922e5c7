// The rules stagecheck holds a plug-in to, and the worker's side of a
// check: running them in order and sending every outcome to the parent.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

struct RuleInfo {
  const char *name;
  const char *asks;  // what the rule asks of a plug-in
  const char *how;   // how stagecheck tries it
};
int RuleCount();
const RuleInfo &RuleAt(int index);

// The rules and how each is tried, for --rules.
void ListRules(FILE *out);

struct WorkerRequest {
  const char *plugin;
  int from = 0;  // the first rule to run
  // The files the plug-in asks for, as an earlier worker learnt them; when
  // not given, the worker checks that the DLL is a plug-in and learns them.
  bool knownGiven = false;
  std::vector<std::string> known;
  bool verbose = false;
};

// Runs the rules from `request.from` on, then measures the cost of draw,
// sending every step through Send (worker_protocol.h).
void RunRules(const WorkerRequest &request);
