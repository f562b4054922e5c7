// The worker (worker.h): discovery of the files a plug-in asks for, the
// run through the rule table. It says everything to
// the parent as it happens, so that whatever the plug-in does to this
// process, the parent knows where it was.
#include "worker.h"

#include <stdio.h>

#include <algorithm>

#include "call_checks.h"
#include "host_text.h"
#include "rules.h"
#include "scenario.h"
#include "worker_protocol.h"

namespace {

// For a DLL without CreateStage: whether it exports it under a decorated
// name, which a host does not find. Mapped without running its code.
std::string DecoratedHint(const char *path) {
  HMODULE image = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!image) return "";
  std::string decorated = DecoratedExport(ExportNames(image));
  FreeLibrary(image);
  return decorated.empty() ? "" : "; " + decorated;
}

// Whether the DLL loads and is a plug-in; sends "error" when not.
bool IsPlugin(const char *path) {
  PluginModule probe;
  std::string error;
  BeginCall("LoadLibrary");
  int code = LoadPluginModule(path, probe, error);
  EndCall();
  if (code == kNotAStagePlugin) error += DecoratedHint(path);
  if (code) {
    Send("error", error);
    return false;
  }
  BeginCall("FreeLibrary");
  UnloadPluginModule(probe);
  EndCall();
  return true;
}

// Which files the plug-in asks for with none present, and what it exports.
std::string Discover(Harness &h) {
  h.rule = "discovery";
  Scenario s(h);
  if (!s.Open()) return s.failure;
  s.Setup({});
  if (s.Create(0, 0, 0) && s.Load()) {
    for (const ServiceCall &call : s.host.calls) {
      if (call.service != Service::LoadSurface) continue;
      std::string name = FileNameOf(call.path);
      if (std::find(h.knownNames.begin(), h.knownNames.end(), name) ==
          h.knownNames.end())
        h.knownNames.push_back(name);
    }
    s.Release();
  }
  return std::string("exports CreateStage") +
         (s.instance.plugin.info
              ? std::string(" and ") + s.instance.plugin.infoName
              : std::string()) +
         "; asks for " + Join(h.knownNames);
}

}  // namespace

bool RunRules(const WorkerRequest &request) {
  Harness h(CheckHost());
  h.pluginPath = request.plugin;
  h.verbose = request.verbose;
  Send("hello");
  if (request.knownGiven) {
    h.knownNames = request.known;
  } else {
    // Whether it is a plug-in at all, then which files it asks for.
    if (!IsPlugin(request.plugin)) return true;
    std::string summary = Discover(h);
    Send("known", EncodeNames(h.knownNames));
    Send("summary", summary);
    if (h.knownNames.size() > kMaxNames)
      Send("note",
           "it asks for more than 8 files: the first 8 are offered in every "
           "combination, the others only all present (nothing for you to "
           "change: stagecheck tries fewer cases)");
    if (h.retire) {
      Send("retire");
      return false;
    }
  }
  for (int i = request.from; i < RuleCount(); ++i) {
    if (!RuleSelected(request.ruleMask, i)) continue;
    h.rule = RuleAt(i).name;
    h.host.firstWrite.clear();
    Send("rule", std::to_string(i));
    Verdict v = CheckRule(i, h);
    Send("outcome",
         std::to_string(i) + (v.passed ? " PASS " : " FAIL ") + v.detail);
    if (h.retire) {
      Send("retire");
      return false;
    }
  }
  Send("done");
  return true;
}
