// The recording host stagecheck drives a plug-in with, and the one way
// into the plug-in's code (GuardedCall).
#include "check_host.h"

#include <stddef.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <utility>

#include "host_text.h"
#include "service_table.h"
#include "worker_protocol.h"

namespace {

HostState host;

struct CheckSurface {
  Surface surface;
  Surface pristine;  // as handed out: the plug-in must not write it
  std::string name;
};
std::vector<CheckSurface *> surfaces;

const float kDefaultWidths[] = {1280, 960, 800, 1024, 1600, 700, 1920, 900};

ServiceCall NewCall(Service service, int table, Surface *surface = nullptr) {
  ServiceCall call = {};
  call.service = service;
  call.table = table;
  call.surface = surface;
  if (!surface)
    call.surfaceName = "null";
  else if (!SurfaceGiven(surface, &call.surfaceName))
    call.surfaceName = "a surface never given";
  return call;
}

Surface *Load(int table, const char *path, int32_t mode) {
  ServiceCall call = NewCall(Service::LoadSurface, table);
  call.path = path ? path : "(null)";
  call.pathPointer = path;
  call.number = mode;
  host.calls.push_back(call);
  if (!path) return nullptr;
  // Found when the path is the directory, a backslash and a present file:
  // anything else is no file of this stage.
  std::string name = FileNameOf(call.path);
  auto found =
      std::find(host.setup.present.begin(), host.setup.present.end(), name);
  if (found == host.setup.present.end() ||
      call.path != host.setup.directory + "\\" + name)
    return nullptr;
  CheckSurface *s = new CheckSurface();
  memset(&s->surface, 0xCD, sizeof s->surface);
  size_t index = size_t(found - host.setup.present.begin());
  s->surface.width = host.setup.oddSize
                         ? host.setup.width
                         : kDefaultWidths[index % (sizeof kDefaultWidths /
                                                   sizeof kDefaultWidths[0])];
  s->surface.height = host.setup.oddSize ? host.setup.height : 480.0f;
  s->name = name;
  s->pristine = s->surface;
  surfaces.push_back(s);
  return &s->surface;
}

template <int T>
Surface *STAGE_CDECL LoadVia(const char *path, int32_t mode) {
  return Load(T, path, mode);
}

template <int T>
int32_t STAGE_CDECL ReleaseVia(Surface *surface) {
  ServiceCall call = NewCall(Service::ReleaseSurface, T, surface);
  host.calls.push_back(call);
  return 1;
}

template <int T>
int32_t STAGE_CDECL DrawVia(Surface *surface, SourceRect source, StageQuad quad,
                            int32_t drawParam) {
  ServiceCall call = NewCall(Service::DrawSurface, T, surface);
  call.source = source;
  call.quad = quad;
  call.drawParam = drawParam;
  host.calls.push_back(call);
  return 1;
}

// The strings GetPath returns live here, followed by guard bytes up to the
// end, so that a plug-in that appends to one (strcat) is seen as well.
char pathGiven[8192];
char pathPristine[sizeof pathGiven];
const unsigned char kGuardFill = 0xA5;

template <int T>
const char *STAGE_CDECL GetPathVia(int32_t kind) {
  ServiceCall call = NewCall(Service::GetPath, T);
  call.number = kind;
  host.calls.push_back(call);
  memset(pathGiven, kGuardFill, sizeof pathGiven);
  snprintf(pathGiven, sizeof pathGiven, "%s",
           kind == 2 ? host.setup.directory.c_str() : "");
  memcpy(pathPristine, pathGiven, sizeof pathGiven);
  return pathGiven;
}

// The reserved slot kReservedSlots[place], through table T.
template <int T, int place>
int32_t STAGE_CDECL ReservedVia() {
  ServiceCall call = NewCall(Service::Reserved, T);
  call.slot = kReservedSlots[place];
  host.calls.push_back(call);
  return 0;
}

template <int T, int... place>
HostServices TableOf(std::integer_sequence<int, place...>) {
  void *const reserved[kReservedSlotCount] = {
      reinterpret_cast<void *>(&ReservedVia<T, place>)...};
  return ServiceTable(LoadVia<T>, ReleaseVia<T>, DrawVia<T>, GetPathVia<T>,
                      reserved);
}

template <int T>
HostServices TableOf() {
  return TableOf<T>(std::make_integer_sequence<int, kReservedSlotCount>());
}

HostServices Table(int t) {
  return t == 0 ? TableOf<0>() : t == 1 ? TableOf<1>() : TableOf<2>();
}

// CallExport's body: pushes the argument, calls, and measures how far the
// stack pointer moved back up (esi and ebp survive any calling convention).
extern "C" int32_t CallOneArgument(const void *function, void *argument,
                                   int32_t *removed);
__asm__(
    ".text\n"
    "_CallOneArgument:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl 12(%ebp)\n"  // the argument
    "  movl %esp, %esi\n"
    "  call *8(%ebp)\n"
    "  movl %esp, %ecx\n"
    "  subl %esi, %ecx\n"  // what the export removed
    "  movl 16(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  leal -4(%ebp), %esp\n"  // the stack as it was, whatever it did
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

// The plug-in's frames sit below a pad of this many bytes, so that a
// buffer overflow on its stack lands in the pad, not in stagecheck's own
// frames, and shows. (An unchecked sprintf of a 4000-character directory
// writes about 4 KiB.)
const size_t kStackPad = 16 * 1024;
const uint32_t kPadFill = 0xCCCCCCCCu;
uint32_t *volatile stackPad;

__attribute__((noinline)) void CallBelowPad(void (*call)(void *),
                                            void *argument) {
  uint32_t *pad = static_cast<uint32_t *>(__builtin_alloca(kStackPad));
  memset(pad, 0xCC, kStackPad);
  stackPad = pad;
  call(argument);
  __asm__ volatile("" : : "r"(pad) : "memory");  // the pad stays live
}

// How far above the plug-in's frames the pad was written, 0 if not at all.
size_t PadOverwritten() {
  const uint32_t *pad = stackPad;
  if (!pad) return 0;
  for (size_t i = kStackPad / 4; i > 0; --i)
    if (pad[i - 1] != kPadFill) return i * 4;
  return 0;
}

// --- Host memory -----------------------------------------------------------

// The record bytes as they were when the call began.
RecordBlock recordsBefore[2];

std::string RecordField(long offset) {
  static const char *const fields[] = {
      "hostReserved", "draw", "load", "release", "aux", "host", "drawParam"};
  if (offset < 0) return "before the record";
  if (offset >= long(sizeof(StageObject))) return "the host's bytes after it";
  return fields[offset / 4];
}

std::string SlotName(long offset) {
  static const char *const names[] = {
      "reserved", "reserved", "reserved",    "LoadSurface", "ReleaseSurface",
      "reserved", "reserved", "DrawSurface", "GetPath"};
  return "slot " + std::to_string(offset / 4) + ", " + names[offset / 4];
}

std::string SurfaceField(long offset) {
  if (offset >= long(offsetof(Surface, height))) return "height";
  if (offset >= long(offsetof(Surface, width))) return "width";
  return "the host's bytes";
}

// The first byte at which `now` differs from `was`, or -1.
long FirstDifference(const void *now, const void *was, size_t size) {
  const unsigned char *a = static_cast<const unsigned char *>(now);
  const unsigned char *b = static_cast<const unsigned char *>(was);
  for (size_t i = 0; i < size; ++i)
    if (a[i] != b[i]) return long(i);
  return -1;
}

// Every host-owned byte the call changed, named; the bytes are put back.
std::string HostWrites(const std::string &label) {
  std::string seen;
  auto saw = [&](const std::string &what) {
    if (seen.empty()) seen = label + " wrote " + what;
  };
  for (int r = 0; r < 2; ++r) {
    if (label == "CreateStage") break;  // create-stage's rule looks at those
    RecordBlock &now = host.records[r];
    const RecordBlock &was = recordsBefore[r];
    // The callbacks (fields 1 to 4) are the plug-in's to write.
    memcpy(&recordsBefore[r].object.draw, &now.object.draw, 16);
    long at = FirstDifference(&now, &was, sizeof now);
    if (at < 0) continue;
    long offset = at - long(offsetof(RecordBlock, object));
    if (offset >= 0 && offset < long(sizeof(StageObject))) offset &= ~3L;
    saw("StageObject " + std::to_string(r + 1) + " at offset " +
        std::to_string(offset) + " (" + RecordField(offset) + ")");
    now = was;
  }
  for (int t = 0; t < kServiceTables; ++t) {
    HostServices canonical = Table(t);
    long at = FirstDifference(&host.tables[t], &canonical, sizeof canonical);
    if (at < 0) continue;
    at &= ~3L;  // the slot
    saw(std::string("HostServices table ") + char('A' + t) + " at offset " +
        std::to_string(at) + " (" + SlotName(at) + ")");
    host.tables[t] = canonical;
  }
  for (CheckSurface *s : surfaces) {
    long at = FirstDifference(&s->surface, &s->pristine, sizeof s->pristine);
    if (at < 0) continue;
    if (at >= long(offsetof(Surface, width))) at &= ~3L;  // the field
    saw("Surface " + s->name + " at offset " + std::to_string(at) + " (" +
        SurfaceField(at) + ")");
    s->surface = s->pristine;
  }
  long at = FirstDifference(pathGiven, pathPristine, sizeof pathGiven);
  if (at >= 0) {
    saw("the string GetPath returned, at offset " + std::to_string(at) +
        (at > long(strlen(pathPristine)) ? " (past its end)" : ""));
    memcpy(pathGiven, pathPristine, sizeof pathGiven);
  }
  return seen;
}

// Whether every heap of the process is whole.
bool HeapsValid() {
  HANDLE heaps[64];
  DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i)
    if (!HeapValidate(heaps[i], 0, nullptr)) return false;
  return true;
}

// --- Crashes ---------------------------------------------------------------

// Read by the filter, which must not rely on anything the plug-in may
// have damaged: no heap, no C library, fixed buffers.
const unsigned char *crashBase;
size_t crashSize;

char *Hex(char *out, uint32_t value) {
  for (int shift = 28; shift >= 0; shift -= 4)
    *out++ = "0123456789ABCDEF"[(value >> shift) & 15];
  return out;
}

// "CODE ADDRESS OFFSET" in hex, the offset into the plug-in or "-".
char *CrashText(char *p, const EXCEPTION_RECORD *record) {
  const unsigned char *address =
      static_cast<const unsigned char *>(record->ExceptionAddress);
  p = Hex(p, record->ExceptionCode);
  *p++ = ' ';
  p = Hex(p, uint32_t(reinterpret_cast<uintptr_t>(address)));
  *p++ = ' ';
  if (address >= crashBase && address < crashBase + crashSize)
    p = Hex(p, uint32_t(address - crashBase));
  else
    *p++ = '-';
  return p;
}

LONG WINAPI SendCrash(EXCEPTION_POINTERS *info) {
  static char line[64];
  char *p = line;
  memcpy(p, "crash ", 6);
  p = CrashText(p + 6, info->ExceptionRecord);
  *p++ = '\n';
  DWORD written;
  WriteFile(MessagePipe(), line, DWORD(p - line), &written, nullptr);
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

char *Append(char *p, const char *text) {
  while (*text) *p++ = *text++;
  return p;
}

// Where no parent can report it: stagecheck's own process ends here, with
// "stagecheck: ended by exception 0xC0000005 at 0x6A801627 (the plug-in's
// +0x1627)" on stderr and exit code 3.
LONG WINAPI WriteCrash(EXCEPTION_POINTERS *info) {
  static char line[160];
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  const unsigned char *address =
      static_cast<const unsigned char *>(record->ExceptionAddress);
  char *p = Append(line, "stagecheck: ended by exception 0x");
  p = Hex(p, record->ExceptionCode);
  p = Append(p, " at 0x");
  p = Hex(p, uint32_t(reinterpret_cast<uintptr_t>(address)));
  if (address >= crashBase && address < crashBase + crashSize) {
    p = Append(p, " (the plug-in's +0x");
    p = Hex(p, uint32_t(address - crashBase));
    p = Append(p, ")");
  } else {
    p = Append(p, " (outside the plug-in)");
  }
  p = Append(p, "; the report is incomplete\n");
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, DWORD(p - line), &written,
            nullptr);
  TerminateProcess(GetCurrentProcess(), kExitCannotFinish);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

HostState &CheckHost() { return host; }

bool SameCall(const ServiceCall &a, const ServiceCall &b) {
  return a.service == b.service && a.table == b.table && a.slot == b.slot &&
         a.path == b.path && a.number == b.number &&
         a.surfaceName == b.surfaceName &&
         memcmp(&a.source, &b.source, sizeof a.source) == 0 &&
         memcmp(&a.quad, &b.quad, sizeof a.quad) == 0 &&
         a.drawParam == b.drawParam;
}

std::string DescribeCall(const ServiceCall &call) {
  char text[512];
  const char *table = call.table == 0   ? "table A"
                      : call.table == 1 ? "table B"
                                        : "table C";
  const std::string &name = call.surfaceName;
  switch (call.service) {
    case Service::LoadSurface:
      snprintf(text, sizeof text, "LoadSurface(\"%s\", %d) via %s",
               call.path.c_str(), call.number, table);
      break;
    case Service::ReleaseSurface:
      snprintf(text, sizeof text, "ReleaseSurface(%s) via %s", name.c_str(),
               table);
      break;
    case Service::DrawSurface:
      snprintf(text, sizeof text,
               "DrawSurface(%s, {%d, %d, %d, %d}, {y0 %.9g, y1 %.9g, x0 %.9g, "
               "x1 %.9g, z %.9g} [%08X %08X %08X %08X %08X], %d) via %s",
               name.c_str(), call.source.left, call.source.top,
               call.source.right, call.source.bottom, call.quad.y0,
               call.quad.y1, call.quad.x0, call.quad.x1, call.quad.z,
               FloatBits(call.quad.y0), FloatBits(call.quad.y1),
               FloatBits(call.quad.x0), FloatBits(call.quad.x1),
               FloatBits(call.quad.z), call.drawParam, table);
      break;
    case Service::GetPath:
      snprintf(text, sizeof text, "GetPath(%d) via %s", call.number, table);
      break;
    case Service::Reserved:
      snprintf(text, sizeof text, "reserved slot %d via %s", call.slot, table);
      break;
  }
  return text;
}

void ResetHost() {
  host.calls.clear();
  // Surfaces stay allocated until the next session: a faulty plug-in may
  // still read one it released.
  for (CheckSurface *s : surfaces) delete s;
  surfaces.clear();
  for (int t = 0; t < kServiceTables; ++t) host.tables[t] = Table(t);
}

bool SurfaceGiven(const Surface *surface, std::string *name) {
  for (CheckSurface *s : surfaces)
    if (&s->surface == surface) {
      if (name) *name = s->name;
      return true;
    }
  return false;
}

std::vector<Surface *> SurfacesGiven() {
  std::vector<Surface *> given;
  for (CheckSurface *s : surfaces) given.push_back(&s->surface);
  return given;
}

void PrepareRecord(int record, int table, int32_t drawParam) {
  memset(&host.records[record], kGuardFill, sizeof host.records[record]);
  host.records[record].object.hostReserved = kHostSentinel;
  host.records[record].object.host = &host.tables[table];
  host.records[record].object.drawParam = drawParam;
}

void BeginCall(const std::string &label) {
  Send("call", label + "|" + host.scenarioCase);
}

void EndCall() { Send("back"); }

bool GuardedCall(void (*call)(void *), void *argument, const std::string &label,
                 std::string &what) {
  memcpy(recordsBefore, host.records, sizeof host.records);
  BeginCall(label);
  stackPad = nullptr;
  CallBelowPad(call, argument);
  size_t smashed = PadOverwritten();  // before anything else uses the stack
  if (!HeapsValid()) {
    // Nothing in this process can be trusted any more.
    Send("damage", "damaged the heap: HeapValidate fails after it returned");
    TerminateProcess(GetCurrentProcess(), 1);
  }
  EndCall();
  std::string wrote = HostWrites(label);
  if (!wrote.empty()) {
    Send("wrote", wrote);
    if (host.firstWrite.empty()) host.firstWrite = wrote;
  }
  if (smashed) {
    what = "returned, but wrote " + std::to_string(smashed) +
           " bytes of the stack above its own frames (a buffer overflow)";
    return false;
  }
  return true;
}

int32_t CallExport(const void *function, void *argument, int32_t *removed) {
  return CallOneArgument(function, argument, removed);
}

std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  const BYTE *base = reinterpret_cast<const BYTE *>(module);
  const IMAGE_NT_HEADERS *nt = ModuleHeaders(module);
  const IMAGE_DATA_DIRECTORY &entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!entry.VirtualAddress || !entry.Size) return names;
  const IMAGE_EXPORT_DIRECTORY *exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base +
                                                       entry.VirtualAddress);
  const DWORD *name =
      reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.push_back(reinterpret_cast<const char *>(base + name[i]));
  return names;
}

void ReportCrashesToParent() { SetUnhandledExceptionFilter(SendCrash); }
void ReportCrashesOnStderr() { SetUnhandledExceptionFilter(WriteCrash); }

void SetCrashModule(HMODULE plugin) {
  MemoryRange image = {nullptr, 0};
  if (plugin) image = ModuleImage(plugin);
  crashBase = image.start;
  crashSize = image.size;
}

DataSnapshot TakeSnapshot(HMODULE module) {
  DataSnapshot snapshot;
  MemoryRange ranges[16];
  int count = WritableSections(module, ranges, 16);
  for (int i = 0; i < count; ++i) {
    snapshot.ranges.push_back(ranges[i]);
    snapshot.bytes.emplace_back(ranges[i].start,
                                ranges[i].start + ranges[i].size);
  }
  return snapshot;
}

std::vector<const unsigned char *> ChangedSince(const DataSnapshot &before) {
  std::vector<const unsigned char *> changed;
  for (size_t r = 0; r < before.ranges.size(); ++r)
    for (size_t i = 0; i < before.ranges[r].size; ++i)
      if (before.ranges[r].start[i] != before.bytes[r][i])
        changed.push_back(before.ranges[r].start + i);
  return changed;
}
