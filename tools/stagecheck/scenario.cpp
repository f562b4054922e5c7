// The scenario harness (scenario.h): instances of the plug-in, the calls
// into them, the host's set-up for a session and the trace of its calls.
#include "scenario.h"

#include <string.h>

#include <algorithm>

#include "service_table.h"
#include "worker_protocol.h"

const char kDirectory[] = "C:\\stagecheck\\a stage";

bool Scenario::Open() {
  std::string error;
  BeginCall("LoadLibrary");
  int code =
      LoadPluginModule(harness.pluginPath.c_str(), instance.plugin, error);
  EndCall();
  if (code) {
    failure = "cannot load a fresh instance: " + error;
    return false;
  }
  SetCrashModule(instance.plugin.module);
  instance.tainted = false;
  return true;
}

Scenario::~Scenario() {
  if (!instance.plugin.module) return;
  if (instance.tainted) {
    harness.retire = true;  // left loaded on purpose
  } else {
    BeginCall("FreeLibrary");
    UnloadPluginModule(instance.plugin);
    EndCall();
  }
}

void Scenario::Setup(const std::vector<std::string> &present,
                     const std::string &directory) {
  ResetHost();
  host.setup = HostSetup();
  host.setup.directory = directory;
  host.setup.present = present;
  host.scenarioCase = PresentLabel(present);
  if (directory != kDirectory)
    host.scenarioCase += " in a directory of " +
                         std::to_string(directory.size()) + " characters";
}

std::vector<std::vector<std::string>> Scenario::Subsets() const {
  const std::vector<std::string> &known = harness.knownNames;
  std::vector<std::vector<std::string>> subsets;
  size_t n = std::min(known.size(), kMaxNames);
  for (unsigned mask = 0; mask < (1u << n); ++mask) {
    std::vector<std::string> present;
    for (size_t i = 0; i < n; ++i)
      if (mask & (1u << i)) present.push_back(known[i]);
    subsets.push_back(present);
  }
  return subsets;
}

bool Scenario::Guarded(void (*call)(void *), void *argument, const char *what) {
  if (!failure.empty()) return false;
  std::string wrong;
  if (GuardedCall(call, argument, what, wrong)) return true;
  instance.tainted = true;
  failure = std::string(what) + " " + wrong;
  return false;
}

bool Scenario::Create(int record, int table, int32_t drawParam) {
  if (!failure.empty()) return false;
  PrepareRecord(record, table, drawParam);
  int32_t result;
  if (!CallCreateStage(record, result)) return false;
  // Callbacks it did not write still hold the host's fill: never called.
  // (aux is never called; the create-stage rule looks at it.)
  const char *outside = CallbackOutside(Record(record), instance.plugin.module);
  if (outside && strcmp(outside, "aux")) {
    failure = std::string("CreateStage left ") + outside +
              " outside the plug-in: nothing to run";
    return false;
  }
  return true;
}

bool Scenario::CallCreateStage(int record, int32_t &result, int32_t *removed) {
  const void *create =
      reinterpret_cast<const void *>(instance.plugin.createStage);
  StageObject *object = &Record(record);
  int32_t took = 0;
  result = 0;
  bool ran = Guarded("CreateStage",
                     [&] { result = CallExport(create, object, &took); });
  if (removed) *removed = took;
  return ran;
}

bool Scenario::Run(StageCallback callback, const char *what) {
  return Guarded(what, [callback] { callback(); });
}

std::vector<ServiceCall> Scenario::CallsSince(size_t mark) const {
  return std::vector<ServiceCall>(host.calls.begin() + long(mark),
                                  host.calls.end());
}

void Scenario::Trace(const std::string &label, size_t mark) const {
  if (!harness.verbose) return;
  Send("trace", "      [" + std::string(harness.rule) + "] " + label);
  for (size_t i = mark; i < host.calls.size(); ++i)
    Send("trace", "        " + DescribeCall(host.calls[i]));
}

std::string Join(const std::vector<std::string> &names) {
  if (names.empty()) return "no file";
  std::string text;
  for (const std::string &n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

std::string PresentLabel(const std::vector<std::string> &present) {
  return "with " + Join(present) + " present";
}

bool LoadEverything(Scenario &s, Verdict &v, int32_t drawParam) {
  s.Setup(s.harness.knownNames);
  if (!s.Create(0, 0, drawParam) || !s.Load())
    return v.Ran(s, "loading with every file present");
  return true;
}
