// stagecheck: holds a stage plug-in DLL against the interface contract of
// stage_plugin.h, rule by rule, in this process (callable by the tests).
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
};

struct CheckReport {
  int exitCode = 0;     // 0 every rule holds, 1 one fails, 2 no plug-in
  std::string error;    // why the DLL is no plug-in (exit code 2)
  std::string summary;  // its exports and the files it asks for
  std::vector<RuleOutcome> rules;
  std::vector<std::string> notes;  // reported, not rules
  std::string cost;                // the cost of draw against its floor
};

// Runs every rule on the DLL. With `out` set, writes the report there as
// it goes (a line per rule, then notes, cost and a summary) and, when
// `verbose`, every scenario's calls before its rule's line.
CheckReport CheckPlugin(const char *path, FILE *out, bool verbose);

// The rules: name, what each asks, and how stagecheck tries it.
void ListRules(FILE *out);

// The program: arguments as main gets them; the exit code.
int StagecheckMain(int argc, char **argv);
