// The rules stagecheck holds a plug-in to: what each asks and how it is
// tried, for the report and --rules, and the running of one on the
// harness (scenario.h).
#pragma once

#include <stdio.h>

struct RuleInfo {
  const char *name;
  const char *asks;  // what the rule asks of a plug-in
  const char *how;   // how stagecheck tries it
  // The rule fails too on a write to the host's memory seen in any other
  // rule (the parent, which sees every worker, adds those).
  bool everyRulesWrites = false;
};
int RuleCount();
const RuleInfo &RuleAt(int index);
// The index of the rule of that name, or -1.
int RuleIndex(const char *name);
// Whether rule `index` is among those `ruleMask` selects (bit i for rule
// i; 0 selects every rule).
inline bool RuleSelected(unsigned long ruleMask, int index) {
  return ruleMask == 0 || (ruleMask >> index & 1u);
}

// The rules and how each is tried, for --rules.
void ListRules(FILE *out);

struct Harness;
struct Verdict;
// Runs rule `index` on the plug-in the harness holds.
Verdict CheckRule(int index, Harness &h);
