// The host itself: the services a plug-in calls and the stage's life from
// CreateStage to release; each frame's requests go to view.cpp to be
// painted and looked at.
#include "stage_host.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "bitmap_file.h"
#include "exit_codes.h"
#include "host_text.h"
#include "plugin_module.h"
#include "service_table.h"
#include "wide_text.h"

namespace {

void (*traceLine)(const std::string &line);
FILE *hostWarnings = stderr;

// A surface as the host keeps it. The plug-in gets the address of
// `surface`; the host finds its record again by that address, so a pointer
// it never handed out is recognised as unknown.
struct HostSurface {
  Surface surface;
  int number;  // 1, 2, ... in load order, for traces and reports
  SurfaceImage image;
  int releases;
};

PluginModule plugin;
int32_t infoValue = -1;
StageObject stageObject;
HostServices services;
char stageFolder[1024];  // as GetPath gives it: ANSI code page bytes
std::vector<HostSurface *> surfaces;  // every surface ever loaded
FrameRequests drawing;                // the frame being drawn
std::vector<std::string> problems;
bool warnedEmptyFrame;  // once a run

// The call into the plug-in now running, for the watch (WatchPluginCalls):
// its name and when it began, or no name between calls.
CRITICAL_SECTION callLock;
bool callLockReady;
const char *callName;
ULONGLONG callStarted;

void SetCall(const char *name) {
  if (!callLockReady) return;
  EnterCriticalSection(&callLock);
  callName = name;
  callStarted = GetTickCount64();
  LeaveCriticalSection(&callLock);
}

// Marks a call into the plug-in for the length of a scope.
struct PluginCall {
  explicit PluginCall(const char *name) { SetCall(name); }
  ~PluginCall() { SetCall(nullptr); }
};

struct Watch {
  unsigned limitMs;
  void (*report)(const std::string &message);
};

DWORD WINAPI WatchCalls(void *parameter) {
  const Watch watch = *static_cast<Watch *>(parameter);
  for (;;) {
    Sleep(std::min(watch.limitMs / 10 + 1, 250u));
    EnterCriticalSection(&callLock);
    const char *name = callName;
    ULONGLONG running = GetTickCount64() - callStarted;
    LeaveCriticalSection(&callLock);
    if (!name || running < watch.limitMs) continue;
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%g", watch.limitMs / 1000.0);
    watch.report(std::string("the plug-in's ") + name +
                 " did not return within " + seconds +
                 " s (--call-limit): stageview gives up on it");
    TerminateProcess(GetCurrentProcess(), kExitPluginHung);
  }
}

void Trace(const char *format, ...) {
  if (!traceLine) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  traceLine(line);
}

HostSurface *Known(Surface *surface) {
  for (HostSurface *s : surfaces)
    if (&s->surface == surface) return s;
  return nullptr;
}

std::string Name(Surface *surface) {
  HostSurface *s = Known(surface);
  char name[64];
  if (s)
    snprintf(name, sizeof name, "%s", FileNameOf(s->image.path).c_str());
  else
    snprintf(name, sizeof name, "unknown surface %p", (void *)surface);
  return name;
}

// The services. Slots the plug-ins never call report themselves.
// A path from the plug-in, in the system's ANSI code page, as UTF-8.
std::string FromAnsi(const char *text) {
  int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(size_t(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
  return Utf8(wide.c_str());
}

Surface *STAGE_CDECL LoadSurface(const char *ansiPath, int32_t mode) {
  BitmapPixels bitmap;
  std::string why, path = FromAnsi(ansiPath);
  HostSurface *s = nullptr;
  if (ReadBitmapFile(path.c_str(), bitmap, why)) {
    if (bitmap.translucentPixels)
      fprintf(hostWarnings,
              "stageview: warning: %s: %d-bit with an alpha channel (%lld "
              "of %lld pixels not opaque); stageview draws it opaque: paint "
              "what should be see-through magenta (255, 0, 255)\n",
              path.c_str(), bitmap.bitsPerPixel,
              (long long)bitmap.translucentPixels,
              (long long)bitmap.pixels.size());
    s = new HostSurface();
    s->number = int(surfaces.size()) + 1;
    s->image.path = path;
    s->releases = 0;
    s->image.width = bitmap.width;
    s->image.bitsPerPixel = bitmap.bitsPerPixel;
    s->image.height = bitmap.height;
    s->image.pixels.swap(bitmap.pixels);
    snprintf(reinterpret_cast<char *>(s->surface.hostData),
             sizeof s->surface.hostData, "stageview surface %d", s->number);
    s->surface.width = float(s->image.width);
    s->surface.height = float(s->image.height);
    surfaces.push_back(s);
  } else {
    fprintf(hostWarnings, "stageview: warning: %s: %s\n", path.c_str(),
            why.c_str());
  }
  if (s)
    Trace("  LoadSurface(\"%s\", %d) -> %s (%d x %d, %d-bit)", path.c_str(),
          mode, FileNameOf(s->image.path).c_str(), s->image.width,
          s->image.height, s->image.bitsPerPixel);
  else
    Trace("  LoadSurface(\"%s\", %d) -> null", path.c_str(), mode);
  return s ? &s->surface : nullptr;
}

int32_t STAGE_CDECL ReleaseSurface(Surface *surface) {
  Trace("  ReleaseSurface(%s)", Name(surface).c_str());
  HostSurface *s = Known(surface);
  if (!s) {
    problems.push_back("ReleaseSurface with " + Name(surface));
    return 0;
  }
  if (++s->releases == 2)
    problems.push_back("surface " + std::to_string(s->number) + " (" +
                       s->image.path + ") released twice");
  return 1;
}

int32_t STAGE_CDECL DrawSurface(Surface *surface, SourceRect source,
                                StageQuad quad, int32_t drawParam) {
  Trace(
      "  DrawSurface(%s, {%d, %d, %d, %d}, {y0 %.9g 0x%08X, y1 %.9g 0x%08X, "
      "x0 %.9g 0x%08X, x1 %.9g 0x%08X, z %.9g 0x%08X}, %d)",
      Name(surface).c_str(), source.left, source.top, source.right,
      source.bottom, quad.y0, FloatBits(quad.y0), quad.y1, FloatBits(quad.y1),
      quad.x0, FloatBits(quad.x0), quad.x1, FloatBits(quad.x1), quad.z,
      FloatBits(quad.z), drawParam);
  HostSurface *s = Known(surface);
  if (!s || s->releases) {
    problems.push_back("DrawSurface with " + Name(surface) +
                       (s ? " after its release" : ""));
    return 0;
  }
  drawing.push_back({&s->image, source, quad});
  return 1;
}

const char *STAGE_CDECL GetPath(int32_t kind) {
  // Only kind 2, the stage's bitmap folder, means something to this host.
  const char *path = kind == 2 ? stageFolder : "";
  Trace("  GetPath(%d) -> \"%s\"", kind, FromAnsi(path).c_str());
  return path;
}

// The reserved slot kReservedSlots[place].
template <int place>
int32_t STAGE_CDECL ReservedSlot() {
  const int slot = kReservedSlots[place];
  Trace("  reserved slot %d called", slot);
  problems.push_back("the plug-in called reserved slot " +
                     std::to_string(slot));
  return 0;
}

template <int... place>
void FillReserved(void *reserved[], std::integer_sequence<int, place...>) {
  void *const slots[] = {reinterpret_cast<void *>(&ReservedSlot<place>)...};
  std::copy(std::begin(slots), std::end(slots), reserved);
}

// `wide` in the ANSI code page, when every character round-trips (under
// code page 65001 every one does, and Windows takes no flags for it).
bool ToAnsi(const std::wstring &wide, std::string &ansi) {
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lost = FALSE;
  int size = WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, nullptr, 0,
                                 nullptr, utf8 ? nullptr : &lost);
  if (size <= 0 || lost) return false;
  std::string bytes(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, &bytes[0], size, nullptr,
                      nullptr);
  bytes.resize(strlen(bytes.c_str()));
  int back = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, nullptr, 0);
  std::wstring again(size_t(back > 0 ? back : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, &again[0], back);
  if (again.c_str() != wide) return false;
  ansi = bytes;
  return true;
}

// The folder GetPath gives: the plug-in passes it back to LoadSurface as
// ANSI code page bytes, so a name that code page cannot hold (Japanese
// under 1252) goes as its short 8.3 form, which is ASCII. Warnings when
// neither works, or when it is too long for the plug-ins' path buffer.
void SetStageFolder(const char *folder) {
  std::wstring wide = Widen(folder);
  StripTrailingSeparators(wide);
  std::string ansi;
  if (!ToAnsi(wide, ansi)) {
    wchar_t shortPath[32768];
    DWORD length = GetShortPathNameW(wide.c_str(), shortPath, 32768);
    if (!(length && length < 32768 && ToAnsi(shortPath, ansi))) {
      fprintf(hostWarnings,
              "stageview: warning: the stage folder %s cannot be written in "
              "this system's code page (%u) and has no short name that can: "
              "the plug-in will find no bitmap in it; rename it\n",
              folder, GetACP());
      int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0,
                                     nullptr, nullptr);
      ansi.assign(size_t(size > 0 ? size : 1), '\0');
      WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], size, nullptr,
                          nullptr);
      ansi.resize(strlen(ansi.c_str()));
    }
  }
  snprintf(stageFolder, sizeof stageFolder, "%s", ansi.c_str());
  // The plug-ins build "FOLDER\back1.bmp" in a 256-byte buffer and load
  // nothing when it does not fit.
  size_t longest = strlen(stageFolder) + strlen("\\back1.bmp");
  if (longest >= 256)
    fprintf(hostWarnings,
            "stageview: warning: the stage folder's path is too long for "
            "the plug-ins: %u bytes; with \"\\back1.bmp\" that is %u, more "
            "than the plug-ins' 256-byte path buffer holds: no bitmap will "
            "load\n",
            unsigned(strlen(stageFolder)), unsigned(longest + 1));
}

void CallInfoExport() {
  static StageInfoRecord info;
  memset(&info, 0, sizeof info);
  infoValue = -1;
  if (plugin.info) {
    PluginCall call(plugin.infoName);
    int32_t result = plugin.info(&info);
    infoValue = info.infoValue;
    Trace("%s(info) -> %d, infoValue %d", plugin.infoName, result, infoValue);
  } else {
    Trace("(no info export)");
  }
}

// The service table and the record that CreateStage gets.
void FillServices() {
  void *reserved[kReservedSlotCount];
  FillReserved(reserved, std::make_integer_sequence<int, kReservedSlotCount>());
  services =
      ServiceTable(LoadSurface, ReleaseSurface, DrawSurface, GetPath, reserved);
  stageObject = StageObject();
  stageObject.hostReserved = kHostSentinel;
  stageObject.host = &services;
  stageObject.drawParam = 0;
}

// The record as CreateStage left it: what it broke, or empty.
std::string CheckCreatedStage(int32_t created) {
  // The plug-in's promises, checked before they are relied on.
  std::string broken;
  if (created != 1) broken = "CreateStage returned " + std::to_string(created);
  const char *outside = CallbackOutside(stageObject, plugin.module);
  if (outside && broken.empty())
    broken = std::string("CreateStage left ") + outside +
             " null or pointing outside the plug-in";
  return broken;
}

}  // namespace

void TraceHostCalls(void (*line)(const std::string &line)) { traceLine = line; }

void WatchPluginCalls(unsigned limitMs,
                      void (*report)(const std::string &message)) {
  static Watch watch;
  watch = {limitMs, report};
  InitializeCriticalSection(&callLock);
  callLockReady = true;
  HANDLE thread = CreateThread(nullptr, 0, WatchCalls, &watch, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void SendHostWarningsTo(FILE *warnings) { hostWarnings = warnings; }

bool AddressInPlugin(const void *address) {
  return AddressInModule(plugin.module, address);
}

void StripTrailingSeparators(std::wstring &folder) {
  // As UTF-16 no character's second half is a backslash ("ソ" is one
  // unit, though its code page 932 bytes end in 0x5C).
  size_t keep = folder.size();
  while (keep > 1 && (folder[keep - 1] == L'\\' || folder[keep - 1] == L'/'))
    --keep;
  folder.resize(keep);
}

HostServices *StageHostServices() { return &services; }

int32_t StageInfoValue() { return infoValue; }

int OpenStage(const char *pluginPath, const char *folder, std::string &error) {
  SetStageFolder(folder);
  warnedEmptyFrame = false;
  {
    PluginCall call("DllMain");  // LoadLibrary runs it
    if (int code = LoadPluginModule(pluginPath, plugin, error)) return code;
  }
  CallInfoExport();
  FillServices();
  int32_t created;
  {
    PluginCall call("CreateStage");
    created = plugin.createStage(&stageObject);
  }
  Trace("CreateStage(stage) -> %d", created);
  std::string broken = CheckCreatedStage(created);
  if (!broken.empty()) {
    error = "the plug-in broke the host contract: " + broken;
    PluginCall call("DllMain");  // FreeLibrary runs it
    UnloadPluginModule(plugin);
    return kExitBrokeContract;
  }
  Trace("load()");
  PluginCall call("load");
  stageObject.load();
  return 0;
}

FrameRequests RenderFrame(const View &view, Frame &frame) {
  drawing.clear();
  Trace("draw()");
  {
    PluginCall call("draw");
    stageObject.draw();
  }
  FrameRequests drawn;
  drawn.swap(drawing);
  PaintFrame(drawn, view, frame);
  if (drawn.empty() && !warnedEmptyFrame) {
    fprintf(hostWarnings,
            "stageview: warning: the plug-in drew nothing in this frame "
            "(no bitmap loaded?)\n");
    warnedEmptyFrame = true;
  }
  return drawn;
}

View FitToStage(double eyeHeight, Frame &scratch, FrameRequests &layers) {
  layers = RenderFrame(PlainView(0), scratch);
  return FittedView(layers, eyeHeight);
}

std::vector<std::string> CloseStage() {
  if (plugin.module) {
    Trace("release()");
    {
      PluginCall call("release");
      stageObject.release();
    }
    PluginCall call("DllMain");  // FreeLibrary runs it
    UnloadPluginModule(plugin);
  }
  for (HostSurface *s : surfaces) {
    if (s->releases == 0)
      problems.push_back("surface " + std::to_string(s->number) + " (" +
                         s->image.path + ") never released");
    delete s;
  }
  surfaces.clear();
  std::vector<std::string> result;
  result.swap(problems);
  return result;
}
