// The rules stagecheck holds a plug-in to, each a scenario run against
// fresh instances of the DLL through the recording host of check_host.h.
// Every rule looks at one part of the contract only, so that one fault in
// a plug-in shows as one failed rule.
#include "rules.h"

#include <emmintrin.h>
#include <limits.h>
#include <math.h>
#include <stddef.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <map>

#include "check_host.h"
#include "draw_cost.h"
#include "host_text.h"
#include "service_table.h"
#include "worker_protocol.h"

namespace {

std::string pluginPath;
bool verbose;
std::vector<std::string> knownNames;  // the files the plug-in asks for

// The directory GetPath(2) gives unless a rule says otherwise.
const char kDirectory[] = "C:\\stagecheck\\a stage";
const size_t kMaxNames = 8;  // every subset of at most 8 files is tried

// --- Instances of the plug-in --------------------------------------------

// An instance that wrote over its own data or stack is left loaded
// (unloading would run its damaged code again), and the worker retires
// after the rule: the next rule gets a fresh process.
bool retire;

struct Instance {
  PluginModule plugin;
  bool tainted = false;
};

bool OpenInstance(Instance &instance, std::string &why) {
  std::string error;
  BeginCall("LoadLibrary");
  int code = LoadPluginModule(pluginPath.c_str(), instance.plugin, error);
  EndCall();
  if (code) {
    why = "cannot load a fresh instance: " + error;
    return false;
  }
  SetCrashModule(instance.plugin.module);
  instance.tainted = false;
  return true;
}

void CloseInstance(Instance &instance) {
  if (!instance.plugin.module) return;
  if (instance.tainted) {
    retire = true;  // left loaded on purpose
  } else {
    BeginCall("FreeLibrary");
    UnloadPluginModule(instance.plugin);
    EndCall();
  }
  instance.plugin = PluginModule();
}

// --- Calls into the plug-in ------------------------------------------------

struct CreateCall {
  CreateStageFn create;
  StageObject *object;
  int32_t result;
};
void CallCreate(void *argument) {
  CreateCall *c = static_cast<CreateCall *>(argument);
  c->result = c->create(c->object);
}
void CallCallback(void *argument) {
  reinterpret_cast<StageCallback>(argument)();
}

const char *currentRule = "";

// One scenario's state: the instance it runs on and the first thing that
// went wrong with running it (a stack overflow, a callback left null).
struct Scenario {
  Instance instance;
  std::string failure;

  bool Open() { return OpenInstance(instance, failure); }
  ~Scenario() { CloseInstance(instance); }

  bool Guarded(void (*call)(void *), void *argument, const char *what) {
    if (!failure.empty()) return false;
    std::string wrong;
    if (GuardedCall(call, argument, what, wrong)) return true;
    instance.tainted = true;
    failure = std::string(what) + " " + wrong;
    return false;
  }

  // CreateStage on a fresh record; false when it left a callback that is
  // not the plug-in's (nothing to run then).
  bool Create(int record, int table, int32_t drawParam) {
    if (!failure.empty()) return false;
    PrepareRecord(record, table, drawParam);
    CreateCall call = {instance.plugin.createStage, &Record(record), 0};
    if (!Guarded(CallCreate, &call, "CreateStage")) return false;
    // Callbacks it did not write still hold the host's fill: never called.
    // (aux is never called; the create-stage rule looks at it.)
    const char *outside =
        CallbackOutside(Record(record), instance.plugin.module);
    if (outside && strcmp(outside, "aux")) {
      failure = std::string("CreateStage left ") + outside +
                " outside the plug-in: nothing to run";
      return false;
    }
    return true;
  }

  bool Run(StageCallback callback, const char *what) {
    return Guarded(CallCallback, reinterpret_cast<void *>(callback), what);
  }
  bool Load(int record = 0) { return Run(Record(record).load, "load"); }
  bool Draw(int record = 0) { return Run(Record(record).draw, "draw"); }
  bool Release(int record = 0) {
    return Run(Record(record).release, "release");
  }
};

std::vector<ServiceCall> CallsSince(size_t mark) {
  return std::vector<ServiceCall>(serviceCalls.begin() + long(mark),
                                  serviceCalls.end());
}

void Trace(const std::string &label, size_t mark) {
  if (!verbose) return;
  Send("trace", "      [" + std::string(currentRule) + "] " + label);
  for (size_t i = mark; i < serviceCalls.size(); ++i)
    Send("trace", "        " + DescribeCall(serviceCalls[i]));
}

std::string Join(const std::vector<std::string> &names) {
  if (names.empty()) return "no file";
  std::string text;
  for (const std::string &n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

// Every subset of the known files, each as the list of present files.
std::vector<std::vector<std::string>> Subsets() {
  std::vector<std::vector<std::string>> subsets;
  size_t n = std::min(knownNames.size(), kMaxNames);
  for (unsigned mask = 0; mask < (1u << n); ++mask) {
    std::vector<std::string> present;
    for (size_t i = 0; i < n; ++i)
      if (mask & (1u << i)) present.push_back(knownNames[i]);
    subsets.push_back(present);
  }
  return subsets;
}

std::string PresentLabel(const std::vector<std::string> &present) {
  return "with " + Join(present) + " present";
}

void Setup(const std::vector<std::string> &present,
           const std::string &directory = kDirectory) {
  ResetHost();
  hostSetup = HostSetup();
  hostSetup.directory = directory;
  hostSetup.present = present;
  scenarioCase = PresentLabel(present);
  if (directory != kDirectory)
    scenarioCase += " in a directory of " + std::to_string(directory.size()) +
                    " characters";
}

// A rule's verdict: passes unless Fail is called; the first failure counts.
struct Verdict {
  bool passed = true;
  std::string detail;
  bool Fail(const std::string &what) {
    if (passed) passed = false, detail = what;
    return false;
  }
  // A scenario that could not run fails the rule with its reason.
  bool Ran(const Scenario &s, const std::string &label) {
    return s.failure.empty() || Fail(label + ": " + s.failure);
  }
};

// --- The rules -------------------------------------------------------------

struct InfoCall {
  StageInfoFn info;
  StageInfoRecord *record;
  int32_t result;
};
void CallInfo(void *argument) {
  InfoCall *c = static_cast<InfoCall *>(argument);
  c->result = c->info(c->record);
}

// The info record among guard bytes.
struct InfoBlock {
  uint8_t before[32];
  StageInfoRecord record;
  uint8_t after[32];
};

// The first byte of the block outside infoValue that is no longer `fill`,
// as an offset from the record's start; INT32_MIN when there is none.
long ByteChanged(const InfoBlock &block, uint8_t fill) {
  const size_t valueAt = offsetof(InfoBlock, record) + 96;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&block);
  for (size_t i = 0; i < sizeof block; ++i)
    if ((i < valueAt || i >= valueAt + 4) && bytes[i] != fill)
      return long(i) - long(offsetof(InfoBlock, record));
  return INT32_MIN;
}

// Twice on the fresh instance, twice after a stage was loaded, over two
// fill patterns: the four bytes must be written, and only they.
bool InfoValues(Scenario &s, Verdict &v, int32_t values[4]) {
  const char *name = s.instance.plugin.infoName;
  static InfoBlock block;
  int run = 0;
  for (int phase = 0; phase < 2; ++phase) {
    if (phase == 1) {
      Setup(knownNames);
      if (!s.Create(0, 0, 0) || !s.Load()) return v.Ran(s, "loading a stage");
    }
    for (uint8_t fill : {uint8_t(0xA5), uint8_t(0x5A)}) {
      memset(&block, fill, sizeof block);
      InfoCall call = {s.instance.plugin.info, &block.record, 0};
      if (!s.Guarded(CallInfo, &call, name)) return v.Ran(s, name);
      if (call.result != 1)
        return v.Fail(std::string(name) + " returned " +
                      std::to_string(call.result) + "; the rule asks for 1");
      long changed = ByteChanged(block, fill);
      if (changed != INT32_MIN)
        return v.Fail(std::string(name) + " changed the byte at offset " +
                      std::to_string(changed) +
                      " of its record; the rule asks for bytes 96 to 99 only");
      values[run++] = block.record.infoValue;
    }
  }
  return true;
}

Verdict InfoExport() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  if (!s.instance.plugin.info)
    return v.Fail(
               "it exports neither StageInfo nor CharacterInfo; the rule asks "
               "for one of them"),
           v;
  const char *name = s.instance.plugin.infoName;
  int32_t values[4];
  if (!InfoValues(s, v, values)) return v;
  for (int i = 1; i < 4; ++i)
    if (values[i] != values[0])
      return v.Fail(std::string(name) + " left infoValue " +
                    std::to_string(values[0]) + " once and " +
                    std::to_string(values[i]) +
                    " another time; the rule asks that it write one value"),
             v;
  if (values[0] == int32_t(0xA5A5A5A5))
    return v.Fail(std::string(name) + " did not write infoValue"), v;
  v.detail = std::string(name) + " wrote " + std::to_string(values[0]);
  return v;
}

Verdict CreateStageRule() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  Setup(knownNames);
  PrepareRecord(0, 0, 0x13572468);
  RecordBlock before = records[0];
  CreateCall call = {s.instance.plugin.createStage, &Record(0), 0};
  if (!s.Guarded(CallCreate, &call, "CreateStage"))
    return v.Ran(s, "CreateStage"), v;
  Trace("CreateStage", 0);
  if (call.result != 1)
    v.Fail("CreateStage returned " + std::to_string(call.result) +
           "; the rule asks for 1");
  const uint8_t *was = reinterpret_cast<const uint8_t *>(&before);
  const uint8_t *now = reinterpret_cast<const uint8_t *>(&records[0]);
  const long fieldsAt = long(offsetof(RecordBlock, object));
  for (size_t i = 0; i < sizeof before; ++i) {
    long offset = long(i) - fieldsAt;
    if (offset >= 4 && offset < 20) continue;  // draw, load, release, aux
    if (was[i] != now[i]) {
      const char *what = offset == 0                   ? " (hostReserved)"
                         : offset < 24 && offset >= 20 ? " (host)"
                         : offset >= 24 && offset < 28 ? " (drawParam)"
                         : offset < 0                  ? " (before the record)"
                                      : " (the host's bytes after field 6)";
      v.Fail("CreateStage changed the byte at offset " +
             std::to_string(offset) + what +
             "; the rule asks for fields 1 to 4 only");
      break;
    }
  }
  for (const CallbackField &c : kCallbackFields) {
    StageCallback callback = Record(0).*c.field;
    if (!AddressInModule(s.instance.plugin.module,
                         reinterpret_cast<const void *>(callback)))
      v.Fail(std::string("CreateStage left ") + c.name +
             (callback ? " pointing outside the plug-in" : " null") +
             "; the rule asks for a callback of the plug-in in each of "
             "fields 1 to 4");
  }
  if (!serviceCalls.empty())
    v.Fail("CreateStage called " + DescribeCall(serviceCalls[0]) +
           "; the rule asks that it call no service");
  return v;
}

// A directory of exactly `length` characters, like a deep real path.
std::string DirectoryOf(size_t length) {
  std::string directory = "C:\\stagecheck";
  while (directory.size() < length) directory += "\\stage folder";
  directory.resize(length);
  if (directory.back() == '\\') directory.back() = 'x';
  return directory;
}

// What is wrong with the calls one load made in `directory`, or "".
std::string LoadCallsWrong(const std::vector<ServiceCall> &calls,
                           const std::string &directory,
                           const std::string &label) {
  bool askedForPath = false;
  int loads = 0;
  for (const ServiceCall &call : calls) {
    std::string what = label + ": " + DescribeCall(call);
    if (call.service == Service::GetPath) {
      if (call.number != 2) return what + "; the rule asks for kind 2 only";
      askedForPath = true;
      continue;
    }
    if (call.service != Service::LoadSurface)
      return what + "; the rule asks load for GetPath and LoadSurface only";
    ++loads;
    if (!askedForPath) return what + " before any GetPath(2)";
    const std::string prefix = directory + "\\";
    std::string name =
        call.path.substr(std::min(call.path.size(), prefix.size()));
    if (call.path.compare(0, prefix.size(), prefix) != 0 || name.empty() ||
        name.find_first_of("\\/") != std::string::npos)
      return what +
             "; the rule asks for the directory, one backslash and a file "
             "name";
    if (call.number != 0)
      return what + "; the rule asks for 0 as second argument";
  }
  if (!askedForPath) return label + ": load never called GetPath(2)";
  if (loads == 0 && !knownNames.empty())
    return label +
           ": load asked for no bitmap; the path fits the 256-byte "
           "buffer";
  return "";
}

Verdict LoadPaths() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  struct Case {
    std::string directory;
    std::vector<std::string> present;
  };
  std::vector<Case> cases;
  for (const auto &present : Subsets()) cases.push_back({kDirectory, present});
  // A directory that ends in a separator gets one more (nothing is added
  // or stripped), and one of 245 characters still fits the path buffer.
  cases.push_back({std::string(kDirectory) + "\\", knownNames});
  cases.push_back({DirectoryOf(245), knownNames});
  for (const Case &c : cases) {
    Setup(c.present, c.directory);
    std::string label = PresentLabel(c.present) + " in a directory of " +
                        std::to_string(c.directory.size()) + " characters";
    if (!s.Create(0, 0, 0)) return v.Ran(s, label), v;
    size_t mark = serviceCalls.size();
    if (!s.Load()) return v.Ran(s, label), v;
    Trace("load " + label, mark);
    std::string wrong = LoadCallsWrong(CallsSince(mark), c.directory, label);
    if (!wrong.empty()) return v.Fail(wrong), v;
    if (!s.Release()) return v.Ran(s, label), v;
  }
  v.detail = std::to_string(cases.size() - 2) + " subsets of " +
             std::to_string(std::min(knownNames.size(), kMaxNames)) +
             " files, a directory ending in a backslash, one of 245 "
             "characters";
  return v;
}

Verdict DrawBeforeLoad() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  Setup(knownNames);
  if (!s.Create(0, 0, 0)) return v.Ran(s, "CreateStage"), v;
  size_t mark = serviceCalls.size();
  if (!s.Draw() || !s.Draw()) return v.Ran(s, "draw before load"), v;
  Trace("draw, draw (no load)", mark);
  std::vector<ServiceCall> calls = CallsSince(mark);
  if (!calls.empty())
    v.Fail("draw before load called " + DescribeCall(calls[0]) +
           "; the rule asks that it call nothing");
  return v;
}

Verdict DrawSurfaces() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  for (const auto &present : Subsets()) {
    Setup(present);
    std::string label = PresentLabel(present);
    if (!s.Create(0, 0, 0) || !s.Load()) return v.Ran(s, label), v;
    size_t mark = serviceCalls.size();
    if (!s.Draw() || !s.Draw()) return v.Ran(s, label), v;
    Trace("draw twice " + label, mark);
    for (const ServiceCall &call : CallsSince(mark)) {
      std::string what = label + ": draw called " + DescribeCall(call);
      if (call.service != Service::DrawSurface)
        return v.Fail(what + "; the rule asks draw for DrawSurface only"), v;
      if (!call.surface || !SurfaceGiven(call.surface))
        return v.Fail(what + "; the rule asks for surfaces that load got"), v;
    }
    if (!s.Release()) return v.Ran(s, label), v;
  }
  return v;
}

// A stage with every file present, loaded through record 0 and table 0.
bool LoadEverything(Scenario &s, Verdict &v, int32_t drawParam = 0) {
  Setup(knownNames);
  if (!s.Create(0, 0, drawParam) || !s.Load())
    return v.Ran(s, "loading with every file present");
  return true;
}

Verdict DrawParam() {
  Verdict v;
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v, 0x0F0F0F0F)) return v.Ran(s, ""), v;
  for (int32_t param :
       {int32_t(0x7FFFFFF1), int32_t(-5), int32_t(0x2468ACE0)}) {
    Record(0).drawParam = param;
    size_t mark = serviceCalls.size();
    if (!s.Draw()) return v.Ran(s, "draw"), v;
    Trace("draw with drawParam " + std::to_string(param), mark);
    for (const ServiceCall &call : CallsSince(mark))
      if (call.service == Service::DrawSurface && call.drawParam != param)
        return v.Fail("after the host set drawParam to " +
                      std::to_string(param) + ", draw called " +
                      DescribeCall(call) +
                      "; the rule asks for the record's current drawParam"),
               v;
  }
  return v;
}

Verdict HostAfresh() {
  Verdict v;
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v)) return v.Ran(s, ""), v;
  for (int table : {0, 1, 0, 1}) {
    Record(0).host = &serviceTables[table];
    size_t mark = serviceCalls.size();
    if (!s.Draw()) return v.Ran(s, "draw"), v;
    Trace(std::string("draw with the record's host on table ") +
              (table ? "B" : "A"),
          mark);
    for (const ServiceCall &call : CallsSince(mark))
      if (call.table != table)
        return v.Fail(std::string("with the record's host swapped to table ") +
                      (table ? "B" : "A") + ", draw called " +
                      DescribeCall(call) +
                      "; the rule asks that host be read afresh"),
               v;
  }
  size_t mark = serviceCalls.size();
  if (!s.Release()) return v.Ran(s, "release"), v;
  for (const ServiceCall &call : CallsSince(mark))
    if (call.table != 1)
      return v.Fail("with the record's host on table B, release called " +
                    DescribeCall(call) +
                    "; the rule asks that host be read afresh"),
             v;
  return v;
}

// The first frame of a fresh instance with everything present, drawn with
// the floating-point units as `prepare` sets them.
bool FirstFrame(Verdict &v, const char *label, void (*prepare)(),
                void (*restore)(), std::vector<ServiceCall> &frame) {
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v)) return v.Ran(s, label);
  size_t mark = serviceCalls.size();
  prepare();
  bool drawn = s.Draw();
  restore();
  if (!drawn) return v.Ran(s, label);
  Trace(std::string("first frame ") + label, mark);
  frame = CallsSince(mark);
  s.Release();
  return true;
}

// The first difference between two frames, or "".
std::string Difference(const std::vector<ServiceCall> &a,
                       const std::vector<ServiceCall> &b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (!SameCall(a[i], b[i]))
      return "call " + std::to_string(i + 1) + " was " + DescribeCall(a[i]) +
             " and then " + DescribeCall(b[i]);
  if (a.size() != b.size())
    return std::to_string(a.size()) + " calls and then " +
           std::to_string(b.size());
  return "";
}

Verdict FrameRepeatable() {
  Verdict v;
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v)) return v.Ran(s, ""), v;
  std::vector<ServiceCall> first;
  for (int frame = 0; frame < 3; ++frame) {
    size_t mark = serviceCalls.size();
    if (!s.Draw()) return v.Ran(s, "draw"), v;
    Trace("frame " + std::to_string(frame + 1), mark);
    std::vector<ServiceCall> calls = CallsSince(mark);
    if (frame == 0) first = calls;
    std::string difference = Difference(first, calls);
    if (!difference.empty())
      return v.Fail("frame 1 and frame " + std::to_string(frame + 1) +
                    " of the same stage differ: " + difference +
                    "; the rule asks for the same calls"),
             v;
  }
  return v;
}

unsigned short hostControlWord;
unsigned hostMxcsr;
void Nothing() {}
void SingleX87() {
  __asm__ volatile("fnstcw %0" : "=m"(hostControlWord));
  unsigned short single = hostControlWord & ~0x0300;  // precision: 24 bits
  __asm__ volatile("fldcw %0" : : "m"(single));
}
void RestoreX87() { __asm__ volatile("fldcw %0" : : "m"(hostControlWord)); }
void TruncatingSse() {
  hostMxcsr = _mm_getcsr();
  _mm_setcsr((hostMxcsr & ~0x6000u) | 0x6000u);  // round toward zero
}
void RestoreSse() { _mm_setcsr(hostMxcsr); }

Verdict X87Precision() {
  Verdict v;
  std::vector<ServiceCall> plain, single, truncating;
  if (!FirstFrame(v, "as the host starts", Nothing, Nothing, plain) ||
      !FirstFrame(v, "with the x87 unit at single precision", SingleX87,
                  RestoreX87, single))
    return v;
  std::string difference = Difference(plain, single);
  if (!difference.empty())
    return v.Fail(
               "the first frame with the x87 unit at single precision "
               "differs from the first frame as the host starts: " +
               difference + "; the rule asks for the same values"),
           v;
  if (FirstFrame(v, "with SSE rounding toward zero", TruncatingSse, RestoreSse,
                 truncating)) {
    std::string changed = Difference(plain, truncating);
    Send("note", changed.empty()
                     ? "sse-rounding: the first frame is the same with SSE "
                       "rounding toward zero"
                     : "sse-rounding: with SSE rounding toward zero the "
                       "first frame differs: " +
                           changed);
  }
  return v;
}

Verdict ReleaseOnce() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  for (const auto &present : Subsets()) {
    Setup(present);
    std::string label = PresentLabel(present);
    if (!s.Create(0, 0, 0) || !s.Load() || !s.Draw()) return v.Ran(s, label), v;
    std::vector<Surface *> given = SurfacesGiven();
    size_t mark = serviceCalls.size();
    if (!s.Release()) return v.Ran(s, label), v;
    Trace("release " + label, mark);
    std::map<Surface *, int> released;
    for (const ServiceCall &call : CallsSince(mark)) {
      std::string what = label + ": release called " + DescribeCall(call);
      if (call.service != Service::ReleaseSurface)
        return v.Fail(what +
                      "; the rule asks release for ReleaseSurface "
                      "only"),
               v;
      if (!SurfaceGiven(call.surface))
        return v.Fail(what + "; the rule asks for loaded surfaces only"), v;
      if (++released[call.surface] == 2)
        return v.Fail(what + " a second time; the rule asks for once"), v;
    }
    for (Surface *surface : given)
      if (!released.count(surface)) {
        std::string name;
        SurfaceGiven(surface, &name);
        return v.Fail(label + ": release left " + name +
                      " unreleased; the rule asks for every loaded surface"),
               v;
      }
  }
  return v;
}

// After a second CreateStage the first record is pointed at table C with
// drawParam 999: a call through C, or with 999, reads the first record.
// (A plug-in that cached host or drawParam at load uses table A or the
// load-time value: that is host-afresh's and draw-param's to find.)
Verdict SecondRecord() {
  Verdict v;
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v, 1)) return v.Ran(s, ""), v;
  std::vector<Surface *> given = SurfacesGiven();
  if (!s.Create(1, 1, 2)) return v.Ran(s, "the second CreateStage"), v;
  Record(1).drawParam = 2;  // the host's to set, whatever CreateStage did
  Record(0).host = &serviceTables[2];
  Record(0).drawParam = 999;
  auto readsFirst = [](const ServiceCall &call) {
    return call.table == 2 ||
           (call.service == Service::DrawSurface && call.drawParam == 999);
  };
  for (int through : {0, 1}) {
    size_t mark = serviceCalls.size();
    if (!s.Draw(through)) return v.Ran(s, "draw"), v;
    Trace(std::string("draw through the ") + (through ? "second" : "first") +
              " record's draw",
          mark);
    for (const ServiceCall &call : CallsSince(mark))
      if (readsFirst(call))
        return v.Fail(std::string("after a second CreateStage, with the first "
                                  "record on table C and drawParam 999, draw "
                                  "through the ") +
                      (through ? "second" : "first") + " record called " +
                      DescribeCall(call) +
                      "; the rule asks for the newer record's host and "
                      "drawParam"),
               v;
  }
  size_t mark = serviceCalls.size();
  if (!s.Release(0)) return v.Ran(s, "release"), v;
  Trace("release through the first record", mark);
  std::vector<ServiceCall> released = CallsSince(mark);
  for (const ServiceCall &call : released)
    if (readsFirst(call))
      return v.Fail(
                 "after a second CreateStage, release through the first "
                 "record called " +
                 DescribeCall(call) +
                 "; the rule asks for the newer record's host"),
             v;
  for (Surface *surface : given) {
    bool found = false;
    for (const ServiceCall &call : released) found |= call.surface == surface;
    std::string name;
    SurfaceGiven(surface, &name);
    if (!found)
      return v.Fail(
                 "after a second CreateStage, release through the first "
                 "record left " +
                 name +
                 " (loaded before it) unreleased; the rule asks that the "
                 "surfaces stay in place"),
             v;
  }
  return v;
}

// What load writes into the plug-in's own data with nothing present, as
// offsets from the module's base: its path buffer (at `buffer` when it
// passed one to LoadSurface, else -1), and anything else it keeps.
std::vector<long> LoadFootprint(Scenario &s, size_t length, long *buffer) {
  Setup({}, DirectoryOf(length));
  *buffer = -1;
  if (!s.Create(0, 0, 0)) return {};
  HMODULE module = s.instance.plugin.module;
  const unsigned char *base = reinterpret_cast<const unsigned char *>(module);
  DataSnapshot before = TakeSnapshot(module);
  if (!s.Load()) return {};
  for (const ServiceCall &call : serviceCalls)
    if (call.service == Service::LoadSurface && *buffer < 0 &&
        AddressInModule(module, call.pathPointer))
      *buffer = long(reinterpret_cast<const unsigned char *>(call.pathPointer) -
                     base);
  std::vector<long> offsets;
  for (const unsigned char *byte : ChangedSince(before))
    offsets.push_back(long(byte - base));
  return offsets;
}

Verdict LongDirectories() {
  Verdict v;
  // What load writes for a short directory: bytes it may write whatever
  // the directory (a flag, say) besides the path buffer.
  std::vector<long> usual;
  long buffer = -1;
  {
    Scenario s;
    if (!s.Open()) return v.Fail(s.failure), v;
    usual = LoadFootprint(s, 20, &buffer);
    if (!v.Ran(s, "load with a 20-character directory")) return v;
  }
  for (size_t length : {200, 245, 246, 300, 4000}) {
    Scenario s;
    if (!s.Open()) return v.Fail(s.failure), v;
    std::string label =
        "a directory of " + std::to_string(length) + " characters";
    long from = -1;
    std::vector<long> changed = LoadFootprint(s, length, &from);
    if (!v.Ran(s, "load with " + label)) return v;
    Trace("load with " + label, 0);
    if (from < 0) from = buffer;
    for (long offset : changed) {
      if (std::find(usual.begin(), usual.end(), offset) != usual.end())
        continue;
      if (from < 0) from = offset;  // no path seen: the first new byte
      if (offset >= from && offset < from + 256) continue;
      s.instance.tainted = true;
      return v.Fail("load with " + label + " wrote the plug-in's data " +
                    std::to_string(offset - from) +
                    " bytes from the start of its path buffer; the rule asks "
                    "for no write past a 256-byte buffer"),
             v;
    }
    if (!s.Draw() || !s.Release()) return v.Ran(s, label), v;
  }
  return v;
}

Verdict OddSurfaceSizes() {
  Verdict v;
  const struct {
    const char *name;
    float value;
  } values[] = {{"NaN", NAN},
                {"+infinity", INFINITY},
                {"-infinity", -INFINITY},
                {"-640", -640},
                {"0", 0},
                {"1e30", 1e30f}};
  for (bool height : {false, true})
    for (const auto &odd : values) {
      Scenario s;
      if (!s.Open()) return v.Fail(s.failure), v;
      Setup(knownNames);
      hostSetup.oddSize = true;
      hostSetup.width = height ? 1280.0f : odd.value;
      hostSetup.height = height ? odd.value : 480.0f;
      std::string label = std::string("surfaces of ") +
                          (height ? "height " : "width ") + odd.name;
      scenarioCase = label;
      if (!s.Create(0, 0, 0) || !s.Load() || !s.Draw() || !s.Draw() ||
          !s.Release())
        return v.Ran(s, label), v;
      Trace("load, draw twice, release with " + label, 0);
    }
  return v;
}

// --- The cost of draw ------------------------------------------------------

std::string Cost() {
  Verdict v;
  Scenario s;
  if (!s.Open() || !LoadEverything(s, v)) return "not measured: " + v.detail;
  size_t mark = serviceCalls.size();
  if (!s.Draw()) return "not measured: " + s.failure;
  std::vector<FloorCall> floor;
  for (const ServiceCall &call : CallsSince(mark))
    if (call.service == Service::DrawSurface)
      floor.push_back({call.surface, call.source, call.quad});
  static HostServices bare;
  bare = serviceTables[0];
  bare.DrawSurface = IgnoreDraw;
  Record(0).host = &bare;
  CostRound rounds[kCostRounds];
  BeginCall("draw, timed");
  MeasureDrawCost(Record(0), floor.data(), int(floor.size()), 100000, rounds);
  EndCall();
  Record(0).host = &serviceTables[0];
  s.Release();
  const CostRound &last = rounds[kCostRounds - 1];
  char text[200];
  snprintf(text, sizeof text,
           "draw %.1f ns against %.1f ns for its %u bare DrawSurface call%s "
           "(%.2f times, median of %d)",
           last.drawNs, last.floorNs, unsigned(floor.size()),
           floor.size() == 1 ? "" : "s", MedianRatio(rounds), kCostRounds);
  return text;
}

// A session like a game's, every subset of the files present: the info
// export, CreateStage, load, three frames with drawParam and the host
// table changing, release. GuardedCall checks the host's memory around
// each call; a write seen in an earlier rule counts as well (the parent
// adds those).
Verdict HostMemory() {
  Verdict v;
  Scenario s;
  if (!s.Open()) return v.Fail(s.failure), v;
  static StageInfoRecord info;
  for (const auto &present : Subsets()) {
    Setup(present);
    std::string label = PresentLabel(present);
    if (s.instance.plugin.info) {
      InfoCall call = {s.instance.plugin.info, &info, 0};
      if (!s.Guarded(CallInfo, &call, s.instance.plugin.infoName))
        return v.Ran(s, label), v;
    }
    if (!s.Create(0, 0, 7) || !s.Load()) return v.Ran(s, label), v;
    for (int table : {1, 0, 1}) {
      Record(0).host = &serviceTables[table];
      Record(0).drawParam += 1;
      if (!s.Draw()) return v.Ran(s, label), v;
    }
    if (!s.Release()) return v.Ran(s, label), v;
    Trace("a session " + label, 0);
    if (!hostWriteSeen.empty())
      return v.Fail(label + ": " + hostWriteSeen +
                    "; the rule asks that it write nothing the host owns"),
             v;
  }
  return v;
}

// --- The table of rules ----------------------------------------------------

struct Rule {
  RuleInfo info;
  Verdict (*check)();
};

const Rule rules[] = {
    {{"info-export",
      "the info export writes the four bytes at offset 96 only and returns 1",
      "StageInfo or CharacterInfo on a record with guard bytes on both "
      "sides, over two fill patterns, on a fresh instance and after a load"},
     InfoExport},
    {{"create-stage",
      "CreateStage returns 1, writes fields 1 to 4 only, calls no service",
      "a record among guard bytes with hostReserved, host and drawParam set; "
      "the four callbacks must point into the plug-in"},
     CreateStageRule},
    {{"load-paths",
      "load asks GetPath(2) and loads DIRECTORY\\FILE with 0 as second "
      "argument",
      "every subset of the files it asks for present, a directory ending in "
      "a backslash, and one of 245 characters"},
     LoadPaths},
    {{"draw-before-load", "draw before load calls nothing",
      "CreateStage, then draw twice"},
     DrawBeforeLoad},
    {{"draw-surfaces",
      "draw calls DrawSurface only, with surfaces that load got, never null",
      "two frames with every subset of the files present"},
     DrawSurfaces},
    {{"draw-param", "DrawSurface gets the record's current drawParam",
      "drawParam changed between frames"},
     DrawParam},
    {{"host-afresh", "draw and release read the record's host afresh",
      "the host field swapped between two service tables between frames"},
     HostAfresh},
    {{"frame-repeatable", "the same frame twice gives the same calls",
      "three frames of one loaded stage compared call by call, floats bit "
      "for bit"},
     FrameRepeatable},
    {{"x87-precision",
      "the first frame is the same with the x87 unit at single precision",
      "as a Direct3D 9 host leaves it by default; also reported as a note: "
      "the same with SSE rounding toward zero"},
     X87Precision},
    {{"release-once",
      "release passes every loaded surface exactly once and nothing else",
      "every subset of the files present"},
     ReleaseOnce},
    {{"second-record",
      "a second CreateStage redirects every callback to the newer record",
      "stage loaded through a first record, then CreateStage with a second "
      "(table B, drawParam 2) and the first moved to table C, drawParam "
      "999; draw through both, release through the first"},
     SecondRecord},
    {{"long-directories",
      "no write past a 256-byte path buffer and no crash for long "
      "directories",
      "directories of 200, 245, 246, 300 and 4000 characters; the plug-in's "
      "own data compared before and after load"},
     LongDirectories},
    {{"odd-surface-sizes", "no crash for surfaces of odd sizes",
      "width or height NaN, +infinity, -infinity, -640, 0 or 1e30; load, "
      "two frames, release"},
     OddSurfaceSizes},
    {{"host-memory", "no callback writes memory the host owns",
      "records outside fields 1 to 4, the service tables, every Surface "
      "(all 288 bytes) and the strings GetPath returns, compared around "
      "every call of every rule; and a session with every subset of the "
      "files present"},
     HostMemory},
};
const int kRuleCount = int(sizeof rules / sizeof rules[0]);

// Which files the plug-in asks for with none present, and what it exports.
std::string Discover() {
  currentRule = "discovery";
  Scenario s;
  if (!s.Open()) return s.failure;
  Setup({});
  if (s.Create(0, 0, 0) && s.Load()) {
    for (const ServiceCall &call : serviceCalls) {
      if (call.service != Service::LoadSurface) continue;
      std::string name = FileNameOf(call.path);
      if (std::find(knownNames.begin(), knownNames.end(), name) ==
          knownNames.end())
        knownNames.push_back(name);
    }
    s.Release();
  }
  return std::string("exports CreateStage") +
         (s.instance.plugin.info
              ? std::string(" and ") + s.instance.plugin.infoName
              : std::string()) +
         "; asks for " + Join(knownNames);
}

}  // namespace

int RuleCount() { return kRuleCount; }
const RuleInfo &RuleAt(int index) { return rules[index].info; }

void ListRules(FILE *out) {
  for (const Rule &rule : rules)
    fprintf(out, "%-18s %s\n%-18s   (%s)\n", rule.info.name, rule.info.asks, "",
            rule.info.how);
  fprintf(out, "%-18s %s\n", "cost",
          "reported, not a rule: one draw against the same DrawSurface calls "
          "made bare through the service table");
}

void RunRules(const WorkerRequest &request) {
  pluginPath = request.plugin;
  verbose = request.verbose;
  retire = false;
  knownNames.clear();
  Send("hello");
  if (request.knownGiven) {
    knownNames = request.known;
  } else {
    // Whether it is a plug-in at all, then which files it asks for.
    PluginModule probe;
    std::string error;
    BeginCall("LoadLibrary");
    int code = LoadPluginModule(request.plugin, probe, error);
    EndCall();
    if (code) {
      Send("error", error);
      return;
    }
    BeginCall("FreeLibrary");
    UnloadPluginModule(probe);
    EndCall();
    std::string summary = Discover();
    Send("known", EncodeNames(knownNames));
    Send("summary", summary);
    if (knownNames.size() > kMaxNames)
      Send("note",
           "it asks for more than 8 files: subsets of the first 8 are tried");
    if (retire) return Send("retire");
  }
  for (int i = request.from; i < kRuleCount; ++i) {
    currentRule = rules[i].info.name;
    hostWriteSeen.clear();
    Send("rule", std::to_string(i));
    Verdict v = rules[i].check();
    Send("outcome",
         std::to_string(i) + (v.passed ? " PASS " : " FAIL ") + v.detail);
    if (retire) return Send("retire");
  }
  currentRule = "cost";
  Send("cost", Cost());
  Send("done");
}
