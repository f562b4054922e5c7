// The harness every rule runs on, so that a rule says only what it tries
// and what it expects: a fresh instance of the plug-in, a scenario on it
// (the host's set-up, guarded calls, the service calls made since a
// mark), every subset of the files the plug-in asks for, and the verdict.
// What a rule reads or writes of the host it reaches through its scenario.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "check_host.h"
#include "plugin_module.h"

// The directory GetPath(2) gives unless a rule says otherwise.
extern const char kDirectory[];
const size_t kMaxNames = 8;  // every subset of at most 8 files is tried

// What a worker knows while it runs the rules.
struct Harness {
  explicit Harness(HostState &host) : host(host) {}
  HostState &host;
  std::string pluginPath;
  bool verbose = false;                 // trace every scenario's calls
  std::vector<std::string> knownNames;  // the files the plug-in asks for
  const char *rule = "";                // the rule running, for traces
  // An instance that wrote over its own data or stack is left loaded
  // (unloading would run its damaged code again), and the worker retires
  // after the rule: the next rule gets a fresh process.
  bool retire = false;
};

struct Instance {
  PluginModule plugin;
  bool tainted = false;
};

// One scenario: the instance it runs on and the first thing that went
// wrong with running it (a stack overflow, a callback left null).
struct Scenario {
  explicit Scenario(Harness &harness) : harness(harness), host(harness.host) {}
  ~Scenario();
  Scenario(const Scenario &) = delete;
  Scenario &operator=(const Scenario &) = delete;

  Harness &harness;
  HostState &host;
  Instance instance;
  std::string failure;

  // Loads a fresh instance; false, with `failure` set, when it cannot.
  bool Open();

  // The host's offer for the next session: no calls, no surfaces, these
  // files present in `directory`.
  void Setup(const std::vector<std::string> &present,
             const std::string &directory = kDirectory);
  // Every subset of the known files (the first kMaxNames), each as the
  // list of present files.
  std::vector<std::vector<std::string>> Subsets() const;

  // `call()`, a call into the plug-in named `what`, through GuardedCall;
  // false once anything went wrong.
  template <class Call>
  bool Guarded(const char *what, Call call) {
    return Guarded([](void *argument) { (*static_cast<Call *>(argument))(); },
                   &call, what);
  }
  bool Guarded(void (*call)(void *), void *argument, const char *what);
  // CreateStage on `record` as it stands; `result` is what it returned,
  // `removed` what it took off the stack (CallExport).
  bool CallCreateStage(int record, int32_t &result, int32_t *removed = nullptr);
  // CreateStage on a fresh record; false when it left a callback that is
  // not the plug-in's (nothing to run then).
  bool Create(int record, int table, int32_t drawParam);
  bool Run(StageCallback callback, const char *what);
  bool Load(int record = 0) { return Run(Record(record).load, "load"); }
  bool Draw(int record = 0) { return Run(Record(record).draw, "draw"); }
  bool Release(int record = 0) {
    return Run(Record(record).release, "release");
  }
  StageObject &Record(int record) { return host.records[record].object; }

  // The service calls made since `mark` (a count of host.calls).
  std::vector<ServiceCall> CallsSince(size_t mark) const;
  // With --verbose, `label` and the calls since `mark` as trace lines.
  void Trace(const std::string &label, size_t mark = 0) const;
  // Runs `step`; when it ran, the service calls it made, traced under
  // `label` unless that is null.
  template <class Step>
  bool Watch(const char *label, Step step, std::vector<ServiceCall> &calls) {
    size_t mark = host.calls.size();
    if (!step()) return false;
    if (label) Trace(label, mark);
    calls = CallsSince(mark);
    return true;
  }
  template <class Step>
  bool Watch(const std::string &label, Step step,
             std::vector<ServiceCall> &calls) {
    return Watch(label.c_str(), step, calls);
  }
};

// "back1.bmp, back2.bmp" or "no file".
std::string Join(const std::vector<std::string> &names);
// "with back1.bmp present", as the scenario's case and in reports.
std::string PresentLabel(const std::vector<std::string> &present);

// A rule's verdict: it passes unless Fail is called; the first failure
// counts.
struct Verdict {
  bool passed = true;
  std::string detail;

  static Verdict Passed(const std::string &detail = "") {
    Verdict v;
    v.detail = detail;
    return v;
  }
  static Verdict Failed(const std::string &what) {
    Verdict v;
    v.Fail(what);
    return v;
  }
  // A scenario that could not run: `label` and its reason.
  static Verdict NotRun(const Scenario &s, const std::string &label) {
    return Failed(label + ": " + s.failure);
  }
  bool Fail(const std::string &what) {
    if (passed) {
      passed = false;
      detail = what;
    }
    return false;
  }
  // Fails with NotRun's text unless the scenario ran.
  bool Ran(const Scenario &s, const std::string &label) {
    return s.failure.empty() || Fail(label + ": " + s.failure);
  }
};

// A stage with every file present, loaded through record 0 and table 0.
bool LoadEverything(Scenario &s, Verdict &v, int32_t drawParam = 0);

// The openings a rule leaves to the harness: `rule` on a fresh instance
// (a rule of one instance), or on a fresh instance with every file
// present and loaded with `drawParam`.
template <Verdict (*rule)(Scenario &)>
Verdict OnInstance(Harness &h) {
  Scenario s(h);
  if (!s.Open()) return Verdict::Failed(s.failure);
  return rule(s);
}
template <Verdict (*rule)(Scenario &), int32_t drawParam = 0>
Verdict OnLoadedStage(Harness &h) {
  Scenario s(h);
  Verdict v;
  if (!s.Open() || !LoadEverything(s, v, drawParam)) {
    v.Ran(s, "");
    return v;
  }
  return rule(s);
}

// `step(label)` with each subset of the files present in turn, until one
// fails.
template <class Step>
Verdict EverySubset(Scenario &s, Step step) {
  for (const auto &present : s.Subsets()) {
    s.Setup(present);
    Verdict v = step(PresentLabel(present));
    if (!v.passed) return v;
  }
  return Verdict();
}
