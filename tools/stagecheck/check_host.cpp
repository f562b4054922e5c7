#include "check_host.h"

#include <setjmp.h>
#include <string.h>
#include <windows.h>

#include <algorithm>

HostSetup hostSetup;
std::vector<ServiceCall> serviceCalls;
HostServices serviceTables[kServiceTables];
FILE *guardOutput = stdout;
int callLimitSeconds = 10;
std::string hangHeader = "FAIL";
std::string pluginName = "the plug-in";

namespace {

struct CheckSurface {
  Surface surface;
  std::string name;
};
std::vector<CheckSurface *> surfaces;

const float kDefaultWidths[] = {1280, 960, 800, 1024, 1600, 700, 1920, 900};

std::string FileName(const std::string &path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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
  serviceCalls.push_back(call);
  if (!path) return nullptr;
  // Found when the path is the directory, a backslash and a present file:
  // anything else is no file of this stage.
  std::string name = FileName(call.path);
  auto found =
      std::find(hostSetup.present.begin(), hostSetup.present.end(), name);
  if (found == hostSetup.present.end() ||
      call.path != hostSetup.directory + "\\" + name)
    return nullptr;
  CheckSurface *s = new CheckSurface();
  memset(&s->surface, 0xCD, sizeof s->surface);
  size_t index = size_t(found - hostSetup.present.begin());
  s->surface.width = hostSetup.oddSize
                         ? hostSetup.width
                         : kDefaultWidths[index % (sizeof kDefaultWidths /
                                                   sizeof kDefaultWidths[0])];
  s->surface.height = hostSetup.oddSize ? hostSetup.height : 480.0f;
  s->name = name;
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
  serviceCalls.push_back(call);
  return 1;
}

template <int T>
int32_t STAGE_CDECL DrawVia(Surface *surface, SourceRect source, StageQuad quad,
                            int32_t drawParam) {
  ServiceCall call = NewCall(Service::DrawSurface, T, surface);
  call.source = source;
  call.quad = quad;
  call.drawParam = drawParam;
  serviceCalls.push_back(call);
  return 1;
}

template <int T>
const char *STAGE_CDECL GetPathVia(int32_t kind) {
  ServiceCall call = NewCall(Service::GetPath, T);
  call.number = kind;
  serviceCalls.push_back(call);
  return kind == 2 ? hostSetup.directory.c_str() : "";
}

template <int T, int slot>
int32_t STAGE_CDECL ReservedVia() {
  ServiceCall call = NewCall(Service::Reserved, T);
  call.slot = slot;
  serviceCalls.push_back(call);
  return 0;
}

template <int T>
HostServices Table() {
  HostServices table;
  table.reserved0 = reinterpret_cast<void *>(&ReservedVia<T, 0>);
  table.reserved1 = reinterpret_cast<void *>(&ReservedVia<T, 1>);
  table.reserved2 = reinterpret_cast<void *>(&ReservedVia<T, 2>);
  table.LoadSurface = LoadVia<T>;
  table.ReleaseSurface = ReleaseVia<T>;
  table.reserved5 = reinterpret_cast<void *>(&ReservedVia<T, 5>);
  table.reserved6 = reinterpret_cast<void *>(&ReservedVia<T, 6>);
  table.DrawSurface = DrawVia<T>;
  table.GetPath = GetPathVia<T>;
  return table;
}

uint32_t Bits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The guard around calls into the plug-in. A fault inside the call jumps
// back to GuardedCall from the vectored handler; the watchdog thread ends
// the process when a call does not come back.
jmp_buf guardJump;
volatile LONG guarding;
volatile DWORD guardStart;
std::string guardLabel;
EXCEPTION_RECORD guardCrash;
HANDLE watchdog;

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

LONG CALLBACK CatchCrash(EXCEPTION_POINTERS *info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  // Debugger messages, thread names and C++ exceptions on their way to a
  // handler are no crash.
  bool fault = (code & 0xC0000000) == 0xC0000000 ||
               code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP;
  if (!guarding || !fault) return EXCEPTION_CONTINUE_SEARCH;
  guardCrash = *info->ExceptionRecord;
  guarding = 0;
  longjmp(guardJump, 1);
}

DWORD WINAPI Watch(void *) {
  for (;;) {
    Sleep(200);
    if (guarding &&
        GetTickCount() - guardStart > DWORD(callLimitSeconds) * 1000u) {
      fprintf(guardOutput,
              "%s\n      saw: %s did not return within %d s; stagecheck "
              "stops here\n",
              hangHeader.c_str(), guardLabel.c_str(), callLimitSeconds);
      fflush(guardOutput);
      TerminateProcess(GetCurrentProcess(), 1);
    }
  }
}

std::string Where(HMODULE plugin, const void *address) {
  char text[160];
  if (AddressInModule(plugin, address)) {
    snprintf(text, sizeof text, "%s+0x%X", pluginName.c_str(),
             unsigned(static_cast<const char *>(address) -
                      reinterpret_cast<const char *>(plugin)));
  } else {
    snprintf(text, sizeof text, "%p (outside the plug-in)", address);
  }
  return text;
}

}  // namespace

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
               Bits(call.quad.y0), Bits(call.quad.y1), Bits(call.quad.x0),
               Bits(call.quad.x1), Bits(call.quad.z), call.drawParam, table);
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
  serviceCalls.clear();
  // Surfaces stay allocated until the next session: a faulty plug-in may
  // still read one it released.
  for (CheckSurface *s : surfaces) delete s;
  surfaces.clear();
  serviceTables[0] = Table<0>();
  serviceTables[1] = Table<1>();
  serviceTables[2] = Table<2>();
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

bool GuardedCall(void (*call)(void *), void *argument, HMODULE plugin,
                 const std::string &label, std::string &what) {
  static PVOID handler = AddVectoredExceptionHandler(1, CatchCrash);
  (void)handler;
  if (!watchdog) watchdog = CreateThread(NULL, 0, Watch, NULL, 0, NULL);
  guardLabel = label;
  // The plug-in may leave the floating-point units in any state; each call
  // starts from the host's defaults.
  unsigned short control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  stackPad = nullptr;
  if (setjmp(guardJump) == 0) {
    guardStart = GetTickCount();
    guarding = 1;
    CallBelowPad(call, argument);
    guarding = 0;
    if (size_t smashed = PadOverwritten()) {
      what = "returned, but wrote " + std::to_string(smashed) +
             " bytes of the stack above its own frames (a buffer overflow)";
      return false;
    }
    return true;
  }
  size_t smashed = PadOverwritten();  // before anything uses the stack
  __asm__ volatile("fninit\n\tfldcw %0" : : "m"(control));
  char text[128];
  snprintf(text, sizeof text, "exception 0x%08lX at ",
           static_cast<unsigned long>(guardCrash.ExceptionCode));
  what = text + Where(plugin, guardCrash.ExceptionAddress);
  if (smashed)
    what += " after writing " + std::to_string(smashed) +
            " bytes of the stack above its own frames (a buffer overflow)";
  return false;
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
