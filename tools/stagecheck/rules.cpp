// The rule book: the rules stagecheck holds a plug-in to and their table.
// Each rule is a scenario over the harness of scenario.h, on fresh
// instances of the DLL, and looks at one part of the contract only, so
// that one fault in a plug-in shows as one failed rule.
#include "rules.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "call_checks.h"
#include "scenario.h"
#include "service_table.h"

namespace {

// --- exports -----------------------------------------------------------------

// What a host relies on to find and call the exports: their plain names,
// and the plain C convention (the caller removes the argument). The
// ordinals are not looked up.
Verdict Exports(Scenario &s) {
  std::string decorated =
      DecoratedExport(ExportNames(s.instance.plugin.module));
  if (!decorated.empty()) return Verdict::Failed(decorated);
  s.Setup(s.harness.knownNames);
  PrepareRecord(0, 0, 0);
  int32_t result, removed = 0;
  if (!s.CallCreateStage(0, result, &removed))
    return Verdict::NotRun(s, "CreateStage");
  std::string wrong = StackRemoved("CreateStage", removed);
  if (!wrong.empty()) return Verdict::Failed(wrong);
  if (!s.instance.plugin.info) return Verdict();  // info-export's to say
  static StageInfoRecord info;
  const void *infoExport =
      reinterpret_cast<const void *>(s.instance.plugin.info);
  if (!s.Guarded(s.instance.plugin.infoName,
                 [&] { CallExport(infoExport, &info, &removed); }))
    return Verdict::NotRun(s, s.instance.plugin.infoName);
  wrong = StackRemoved(s.instance.plugin.infoName, removed);
  return wrong.empty() ? Verdict() : Verdict::Failed(wrong);
}

// --- info-export -----------------------------------------------------------

// Twice on the fresh instance, twice after a stage was loaded, over two
// fill patterns: the four bytes must be written, and only they.
bool InfoValues(Scenario &s, Verdict &v, int32_t values[4]) {
  const char *name = s.instance.plugin.infoName;
  static InfoBlock block;
  int run = 0;
  for (int phase = 0; phase < 2; ++phase) {
    if (phase == 1) {
      s.Setup(s.harness.knownNames);
      if (!s.Create(0, 0, 0) || !s.Load()) return v.Ran(s, "loading a stage");
    }
    for (uint8_t fill : {uint8_t(0xA5), uint8_t(0x5A)}) {
      memset(&block, fill, sizeof block);
      const void *info = reinterpret_cast<const void *>(s.instance.plugin.info);
      int32_t result = 0, removed;
      if (!s.Guarded(name, [&] {
            result = CallExport(info, &block.record, &removed);
          }))
        return v.Ran(s, name);
      if (result != 1)
        return v.Fail(std::string(name) + " returned " +
                      std::to_string(result) + "; the rule asks for 1");
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

Verdict InfoExport(Scenario &s) {
  if (!s.instance.plugin.info)
    return Verdict::Failed(
        "it exports neither StageInfo nor CharacterInfo; the rule asks for "
        "one of them");
  const std::string name = s.instance.plugin.infoName;
  Verdict v;
  int32_t values[4];
  if (!InfoValues(s, v, values)) return v;
  for (int i = 1; i < 4; ++i)
    if (values[i] != values[0])
      return Verdict::Failed(
          name + " left infoValue " + std::to_string(values[0]) + " once and " +
          std::to_string(values[i]) +
          " another time; the rule asks that it write one value");
  if (values[0] == int32_t(0xA5A5A5A5))
    return Verdict::Failed(name + " did not write infoValue");
  return Verdict::Passed(name + " wrote " + std::to_string(values[0]));
}

// --- create-stage ----------------------------------------------------------

Verdict CreateStageRule(Scenario &s) {
  s.Setup(s.harness.knownNames);
  PrepareRecord(0, 0, 0x13572468);
  const RecordBlock before = s.host.records[0];
  int32_t result = 0;
  if (!s.CallCreateStage(0, result)) return Verdict::NotRun(s, "CreateStage");
  s.Trace("CreateStage");
  Verdict v;
  if (result != 1)
    v.Fail("CreateStage returned " + std::to_string(result) +
           "; the rule asks for 1");
  std::string changed = RecordChanged(before, s.host.records[0]);
  if (!changed.empty()) v.Fail(changed);
  for (const CallbackField &c : kCallbackFields) {
    StageCallback callback = s.Record(0).*c.field;
    if (!AddressInModule(s.instance.plugin.module,
                         reinterpret_cast<const void *>(callback)))
      v.Fail(std::string("CreateStage left ") + c.name +
             (callback ? " pointing outside the plug-in" : " null") +
             "; the rule asks for a callback of the plug-in in each of "
             "fields 1 to 4");
  }
  if (!s.host.calls.empty())
    v.Fail("CreateStage called " + DescribeCall(s.host.calls[0]) +
           "; the rule asks that it call no service");
  return v;
}

// --- load-paths ------------------------------------------------------------

Verdict LoadPaths(Scenario &s) {
  const std::vector<std::string> &known = s.harness.knownNames;
  struct Case {
    std::string directory;
    std::vector<std::string> present;
  };
  std::vector<Case> cases;
  for (const auto &present : s.Subsets())
    cases.push_back({kDirectory, present});
  // A directory that ends in a separator gets one more (nothing is added
  // or stripped), and one of 245 characters still fits the path buffer.
  cases.push_back({std::string(kDirectory) + "\\", known});
  cases.push_back({DirectoryOf(245), known});
  for (const Case &c : cases) {
    s.Setup(c.present, c.directory);
    std::string label = PresentLabel(c.present) + " in a directory of " +
                        std::to_string(c.directory.size()) + " characters";
    std::vector<ServiceCall> calls;
    if (!s.Create(0, 0, 0) ||
        !s.Watch(
            "load " + label, [&] { return s.Load(); }, calls))
      return Verdict::NotRun(s, label);
    std::string wrong =
        LoadCallsWrong(calls, c.directory, label, !known.empty());
    if (!wrong.empty()) return Verdict::Failed(wrong);
    if (!s.Release()) return Verdict::NotRun(s, label);
  }
  return Verdict::Passed(
      std::to_string(cases.size() - 2) + " subsets of " +
      std::to_string(std::min(known.size(), kMaxNames)) +
      " files, a directory ending in a backslash, one of 245 characters");
}

// --- draw-before-load, draw-surfaces ---------------------------------------

Verdict DrawBeforeLoad(Scenario &s) {
  s.Setup(s.harness.knownNames);
  if (!s.Create(0, 0, 0)) return Verdict::NotRun(s, "CreateStage");
  std::vector<ServiceCall> calls;
  if (!s.Watch(
          "draw, draw (no load)", [&] { return s.Draw() && s.Draw(); }, calls))
    return Verdict::NotRun(s, "draw before load");
  if (!calls.empty())
    return Verdict::Failed("draw before load called " + DescribeCall(calls[0]) +
                           "; the rule asks that it call nothing");
  return Verdict();
}

Verdict DrawSurfaces(Scenario &s) {
  return EverySubset(s, [&](const std::string &label) {
    std::vector<ServiceCall> calls;
    if (!s.Create(0, 0, 0) || !s.Load() ||
        !s.Watch(
            "draw twice " + label, [&] { return s.Draw() && s.Draw(); }, calls))
      return Verdict::NotRun(s, label);
    for (const ServiceCall &call : calls) {
      std::string what = label + ": draw called " + DescribeCall(call);
      if (call.service != Service::DrawSurface)
        return Verdict::Failed(what +
                               "; the rule asks draw for DrawSurface only");
      if (!call.surface || !SurfaceGiven(call.surface))
        return Verdict::Failed(what +
                               "; the rule asks for surfaces that load got");
    }
    if (!s.Release()) return Verdict::NotRun(s, label);
    return Verdict();
  });
}

// --- draw-param, host-afresh, frame-repeatable ------------------------------

Verdict DrawParam(Scenario &s) {
  for (int32_t param :
       {int32_t(0x7FFFFFF1), int32_t(-5), int32_t(0x2468ACE0)}) {
    s.Record(0).drawParam = param;
    std::vector<ServiceCall> calls;
    if (!s.Watch(
            "draw with drawParam " + std::to_string(param),
            [&] { return s.Draw(); }, calls))
      return Verdict::NotRun(s, "draw");
    for (const ServiceCall &call : calls)
      if (call.service == Service::DrawSurface && call.drawParam != param)
        return Verdict::Failed(
            "after the host set drawParam to " + std::to_string(param) +
            ", draw called " + DescribeCall(call) +
            "; the rule asks for the record's current drawParam");
  }
  return Verdict();
}

Verdict HostAfresh(Scenario &s) {
  for (int table : {0, 1, 0, 1}) {
    const std::string name = table ? "B" : "A";
    s.Record(0).host = &s.host.tables[table];
    std::vector<ServiceCall> calls;
    if (!s.Watch(
            "draw with the record's host on table " + name,
            [&] { return s.Draw(); }, calls))
      return Verdict::NotRun(s, "draw");
    for (const ServiceCall &call : calls)
      if (call.table != table)
        return Verdict::Failed("with the record's host swapped to table " +
                               name + ", draw called " + DescribeCall(call) +
                               "; the rule asks that host be read afresh");
  }
  std::vector<ServiceCall> calls;
  if (!s.Watch(
          nullptr, [&] { return s.Release(); }, calls))
    return Verdict::NotRun(s, "release");
  for (const ServiceCall &call : calls)
    if (call.table != 1)
      return Verdict::Failed(
          "with the record's host on table B, release called " +
          DescribeCall(call) + "; the rule asks that host be read afresh");
  return Verdict();
}

// What an author changes when frames differ: the usual causes and the fix.
const char kFrameFix[] =
    "To fix: draw must keep nothing from one frame to the next (no frame "
    "counter, no clock or timer read, no input, no value it updates): keep "
    "state only from load, and derive every argument from the surfaces' "
    "sizes and the record's drawParam. A stage cannot animate";

Verdict FrameRepeatable(Scenario &s) {
  std::vector<ServiceCall> first;
  for (int frame = 0; frame < 3; ++frame) {
    std::vector<ServiceCall> calls;
    if (!s.Watch(
            "frame " + std::to_string(frame + 1), [&] { return s.Draw(); },
            calls))
      return Verdict::NotRun(s, "draw");
    if (frame == 0) first = calls;
    std::string difference = Difference(first, calls);
    if (!difference.empty())
      return Verdict::Failed("frame 1 and frame " + std::to_string(frame + 1) +
                             " of the same stage differ: " + difference +
                             "; the rule asks for the same calls every "
                             "frame. " +
                             kFrameFix);
  }
  return Verdict();
}

// --- x87-precision -----------------------------------------------------------

unsigned short hostControlWord;
void Nothing() {}
void SingleX87() {
  __asm__ volatile("fnstcw %0" : "=m"(hostControlWord));
  unsigned short single = hostControlWord & ~0x0300;  // precision: 24 bits
  __asm__ volatile("fldcw %0" : : "m"(single));
}
void RestoreX87() { __asm__ volatile("fldcw %0" : : "m"(hostControlWord)); }

// The first frame of a fresh instance with everything present, drawn with
// the x87 unit as `prepare` sets it. (SSE rounding toward zero is not
// tried: under it every plug-in that computes a quad rounds differently,
// ours too, and the contract asks nothing of a plug-in for a host that
// changes the SSE rounding mode: an author could do nothing about it.)
bool FirstFrame(Harness &h, Verdict &v, const char *label, void (*prepare)(),
                void (*restore)(), std::vector<ServiceCall> &frame) {
  Scenario s(h);
  if (!s.Open() || !LoadEverything(s, v)) return v.Ran(s, label);
  auto draw = [&] {
    prepare();
    bool drawn = s.Draw();
    restore();
    return drawn;
  };
  if (!s.Watch(std::string("first frame ") + label, draw, frame))
    return v.Ran(s, label);
  s.Release();
  return true;
}

Verdict X87Precision(Harness &h) {
  Verdict v;
  std::vector<ServiceCall> plain, single;
  if (!FirstFrame(h, v, "as the host starts", Nothing, Nothing, plain) ||
      !FirstFrame(h, v, "with the x87 unit at single precision", SingleX87,
                  RestoreX87, single))
    return v;
  std::string difference = Difference(plain, single);
  if (!difference.empty())
    return Verdict::Failed(
        "the first frame with the x87 unit at single precision differs from "
        "the first frame as the host starts: " +
        difference + "; the rule asks for the same values");
  return v;
}

// --- release-once, second-record -------------------------------------------

Verdict ReleaseOnce(Scenario &s) {
  return EverySubset(s, [&](const std::string &label) {
    if (!s.Create(0, 0, 0) || !s.Load() || !s.Draw())
      return Verdict::NotRun(s, label);
    std::vector<Surface *> given = SurfacesGiven();
    std::vector<ServiceCall> calls;
    if (!s.Watch(
            "release " + label, [&] { return s.Release(); }, calls))
      return Verdict::NotRun(s, label);
    std::string wrong = ReleasesWrong(calls, given, label);
    return wrong.empty() ? Verdict() : Verdict::Failed(wrong);
  });
}

// After a second CreateStage the first record is pointed at table C with
// drawParam 999: a call through C, or with 999, reads the first record.
// (A plug-in that cached host or drawParam at load uses table A or the
// load-time value: that is host-afresh's and draw-param's to find.)
Verdict SecondRecord(Scenario &s) {
  std::vector<Surface *> given = SurfacesGiven();
  if (!s.Create(1, 1, 2)) return Verdict::NotRun(s, "the second CreateStage");
  s.Record(1).drawParam = 2;  // the host's to set, whatever CreateStage did
  s.Record(0).host = &s.host.tables[2];
  s.Record(0).drawParam = 999;
  for (int through : {0, 1}) {
    const std::string which = through ? "second" : "first";
    std::vector<ServiceCall> calls;
    if (!s.Watch(
            "draw through the " + which + " record's draw",
            [&] { return s.Draw(through); }, calls))
      return Verdict::NotRun(s, "draw");
    for (const ServiceCall &call : calls)
      if (ReadsFirst(call))
        return Verdict::Failed(
            "after a second CreateStage, with the first record on table C "
            "and drawParam 999, draw through the " +
            which + " record called " + DescribeCall(call) +
            "; the rule asks for the newer record's host and drawParam");
  }
  std::vector<ServiceCall> released;
  if (!s.Watch(
          "release through the first record", [&] { return s.Release(0); },
          released))
    return Verdict::NotRun(s, "release");
  std::string wrong = SecondReleaseWrong(released, given);
  return wrong.empty() ? Verdict() : Verdict::Failed(wrong);
}

// --- long-directories, odd-surface-sizes -------------------------------------

// What load writes into the plug-in's own data with nothing present, as
// offsets from the module's base: its path buffer (at `buffer` when it
// passed one to LoadSurface, else -1), and anything else it keeps.
std::vector<long> LoadFootprint(Scenario &s, size_t length, long *buffer) {
  s.Setup({}, DirectoryOf(length));
  *buffer = -1;
  if (!s.Create(0, 0, 0)) return {};
  HMODULE module = s.instance.plugin.module;
  const unsigned char *base = reinterpret_cast<const unsigned char *>(module);
  DataSnapshot before = TakeSnapshot(module);
  if (!s.Load()) return {};
  for (const ServiceCall &call : s.host.calls)
    if (call.service == Service::LoadSurface && *buffer < 0 &&
        AddressInModule(module, call.pathPointer))
      *buffer = long(reinterpret_cast<const unsigned char *>(call.pathPointer) -
                     base);
  std::vector<long> offsets;
  for (const unsigned char *byte : ChangedSince(before))
    offsets.push_back(long(byte - base));
  return offsets;
}

// One long directory: load must write nothing of its data beyond the
// bytes it writes for a short one (`usual`) and a 256-byte path buffer
// (at `buffer`, or where the first new byte is).
Verdict LongDirectory(Harness &h, size_t length, const std::vector<long> &usual,
                      long buffer) {
  Scenario s(h);
  if (!s.Open()) return Verdict::Failed(s.failure);
  std::string label =
      "a directory of " + std::to_string(length) + " characters";
  long from = -1;
  std::vector<long> changed = LoadFootprint(s, length, &from);
  if (!s.failure.empty()) return Verdict::NotRun(s, "load with " + label);
  s.Trace("load with " + label);
  if (from < 0) from = buffer;
  for (long offset : changed) {
    if (std::find(usual.begin(), usual.end(), offset) != usual.end()) continue;
    if (from < 0) from = offset;  // no path seen: the first new byte
    if (offset >= from && offset < from + 256) continue;
    s.instance.tainted = true;
    return Verdict::Failed("load with " + label + " wrote the plug-in's data " +
                           std::to_string(offset - from) +
                           " bytes from the start of its path buffer; the "
                           "rule asks for no write past a 256-byte buffer");
  }
  if (!s.Draw() || !s.Release()) return Verdict::NotRun(s, label);
  return Verdict();
}

Verdict LongDirectories(Harness &h) {
  // What load writes for a short directory: bytes it may write whatever
  // the directory (a flag, say) besides the path buffer.
  std::vector<long> usual;
  long buffer = -1;
  {
    Scenario s(h);
    if (!s.Open()) return Verdict::Failed(s.failure);
    usual = LoadFootprint(s, 20, &buffer);
    if (!s.failure.empty())
      return Verdict::NotRun(s, "load with a 20-character directory");
  }
  for (size_t length : {200, 245, 246, 300, 4000}) {
    Verdict v = LongDirectory(h, length, usual, buffer);
    if (!v.passed) return v;
  }
  return Verdict();
}

Verdict OddSurfaceSizes(Harness &h) {
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
      Scenario s(h);
      if (!s.Open()) return Verdict::Failed(s.failure);
      s.Setup(h.knownNames);
      s.host.setup.oddSize = true;
      s.host.setup.width = height ? 1280.0f : odd.value;
      s.host.setup.height = height ? odd.value : 480.0f;
      std::string label = std::string("surfaces of ") +
                          (height ? "height " : "width ") + odd.name;
      s.host.scenarioCase = label;
      if (!s.Create(0, 0, 0) || !s.Load() || !s.Draw() || !s.Draw() ||
          !s.Release())
        return Verdict::NotRun(s, label);
      s.Trace("load, draw twice, release with " + label);
    }
  return Verdict();
}

// --- host-memory -------------------------------------------------------------

// A session like a game's, every subset of the files present: the info
// export, CreateStage, load, three frames with drawParam and the host
// table changing, release. GuardedCall checks the host's memory around
// each call; a write seen in an earlier rule counts as well (the parent
// adds those: the rule's everyRulesWrites).
Verdict HostMemory(Scenario &s) {
  static StageInfoRecord info;
  return EverySubset(s, [&](const std::string &label) {
    if (s.instance.plugin.info) {
      const void *infoExport =
          reinterpret_cast<const void *>(s.instance.plugin.info);
      int32_t removed;
      if (!s.Guarded(s.instance.plugin.infoName,
                     [&] { CallExport(infoExport, &info, &removed); }))
        return Verdict::NotRun(s, label);
    }
    if (!s.Create(0, 0, 7) || !s.Load()) return Verdict::NotRun(s, label);
    for (int table : {1, 0, 1}) {
      s.Record(0).host = &s.host.tables[table];
      s.Record(0).drawParam += 1;
      if (!s.Draw()) return Verdict::NotRun(s, label);
    }
    if (!s.Release()) return Verdict::NotRun(s, label);
    s.Trace("a session " + label);
    if (!s.host.firstWrite.empty())
      return Verdict::Failed(label + ": " + s.host.firstWrite +
                             "; the rule asks that it write nothing the host "
                             "owns");
    return Verdict();
  });
}

// --- The table of rules ------------------------------------------------------

struct Rule {
  RuleInfo info;
  Verdict (*check)(Harness &h);
};

const Rule rules[] = {
    {{"exports", "CreateStage and the info export: plain names, plain C calls",
      "the export table read for decorated names (_CreateStage, "
      "CreateStage@4, C++ names), which a host looking up the plain name "
      "misses; each export called once with the stack measured around it "
      "(cdecl: the caller removes the argument). Ordinals are not looked up"},
     OnInstance<Exports>},
    {{"info-export",
      "the info export writes the four bytes at offset 96 only and returns 1",
      "StageInfo or CharacterInfo on a record with guard bytes on both "
      "sides, over two fill patterns, on a fresh instance and after a load"},
     OnInstance<InfoExport>},
    {{"create-stage",
      "CreateStage returns 1, writes fields 1 to 4 only, calls no service",
      "a record among guard bytes with hostReserved, host and drawParam set; "
      "the four callbacks must point into the plug-in"},
     OnInstance<CreateStageRule>},
    {{"load-paths",
      "load asks GetPath(2) and loads DIRECTORY\\FILE with 0 as second "
      "argument",
      "every subset of the files it asks for present, a directory ending in "
      "a backslash, and one of 245 characters"},
     OnInstance<LoadPaths>},
    {{"draw-before-load", "draw before load calls nothing",
      "CreateStage, then draw twice"},
     OnInstance<DrawBeforeLoad>},
    {{"draw-surfaces",
      "draw calls DrawSurface only, with surfaces that load got, never null",
      "two frames with every subset of the files present"},
     OnInstance<DrawSurfaces>},
    {{"draw-param", "DrawSurface gets the record's current drawParam",
      "drawParam changed between frames"},
     OnLoadedStage<DrawParam, 0x0F0F0F0F>},
    {{"host-afresh", "draw and release read the record's host afresh",
      "the host field swapped between two service tables between frames"},
     OnLoadedStage<HostAfresh>},
    {{"frame-repeatable", "the same frame twice gives the same calls",
      "three frames of one loaded stage compared call by call, floats bit "
      "for bit"},
     OnLoadedStage<FrameRepeatable>},
    {{"x87-precision",
      "the first frame is the same with the x87 unit at single precision",
      "as a Direct3D 9 host leaves it by default"},
     X87Precision},
    {{"release-once",
      "release passes every loaded surface exactly once and nothing else",
      "every subset of the files present"},
     OnInstance<ReleaseOnce>},
    {{"second-record",
      "a second CreateStage redirects every callback to the newer record",
      "stage loaded through a first record, then CreateStage with a second "
      "(table B, drawParam 2) and the first moved to table C, drawParam "
      "999; draw through both, release through the first"},
     OnLoadedStage<SecondRecord, 1>},
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
      "files present",
      true},
     OnInstance<HostMemory>},
};
const int kRuleCount = int(sizeof rules / sizeof rules[0]);
static_assert(sizeof rules / sizeof rules[0] <= 32,
              "a rule mask holds 32 rules");

}  // namespace

int RuleCount() { return kRuleCount; }
const RuleInfo &RuleAt(int index) { return rules[index].info; }
int RuleIndex(const char *name) {
  for (int i = 0; i < kRuleCount; ++i)
    if (!strcmp(rules[i].info.name, name)) return i;
  return -1;
}
Verdict CheckRule(int index, Harness &h) { return rules[index].check(h); }

void ListRules(FILE *out) {
  for (const Rule &rule : rules)
    fprintf(out, "%-18s %s\n%-18s   (%s)\n", rule.info.name, rule.info.asks, "",
            rule.info.how);
}
