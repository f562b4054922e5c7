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
char stageFolder[1024];
std::vector<HostSurface *> surfaces;  // every surface ever loaded
FrameRequests drawing;                // the frame being drawn
std::vector<std::string> problems;
bool warnedEmptyFrame;  // once a run

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
Surface *STAGE_CDECL LoadSurface(const char *path, int32_t mode) {
  BitmapPixels bitmap;
  std::string why;
  HostSurface *s = nullptr;
  if (ReadBitmapFile(path, bitmap, why)) {
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
    fprintf(hostWarnings, "stageview: warning: %s: %s\n", path, why.c_str());
  }
  if (s)
    Trace("  LoadSurface(\"%s\", %d) -> %s (%d x %d, %d-bit)", path, mode,
          FileNameOf(s->image.path).c_str(), s->image.width, s->image.height,
          s->image.bitsPerPixel);
  else
    Trace("  LoadSurface(\"%s\", %d) -> null", path, mode);
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
  Trace("  GetPath(%d) -> \"%s\"", kind, path);
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

// The folder GetPath gives, and a warning when it is too long for the
// plug-ins' path buffer.
void SetStageFolder(const char *folder) {
  snprintf(stageFolder, sizeof stageFolder, "%s", folder);
  StripTrailingSeparators(stageFolder);
  // The plug-ins build "FOLDER\backN.bmp" in a 256-byte buffer and load
  // nothing when it does not fit.
  size_t longest = strlen(stageFolder) + strlen("\\back1.bmp");
  if (longest >= 256)
    fprintf(hostWarnings,
            "stageview: warning: the stage folder is %u bytes long; with "
            "\"\\back1.bmp\" that is %u, more than the plug-ins' 256-byte "
            "path buffer holds: no bitmap will load\n",
            unsigned(strlen(stageFolder)), unsigned(longest + 1));
}

void CallInfoExport() {
  static StageInfoRecord info;
  memset(&info, 0, sizeof info);
  infoValue = -1;
  if (plugin.info) {
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

void SendHostWarningsTo(FILE *warnings) { hostWarnings = warnings; }

bool AddressInPlugin(const void *address) {
  return AddressInModule(plugin.module, address);
}

void StripTrailingSeparators(char *folder) {
  // Walk the text as code page 932: the second byte of a double-byte
  // character may be 0x5C ("ソ" is 0x83 0x5C) and is no separator.
  size_t keep = 0;
  for (size_t i = 0; folder[i];) {
    bool separator = folder[i] == '\\' || folder[i] == '/';
    size_t length =
        IsDBCSLeadByteEx(932, BYTE(folder[i])) && folder[i + 1] ? 2 : 1;
    i += length;
    if (!separator || i == 1) keep = i;  // a lone root separator stays
  }
  folder[keep] = 0;
}

HostServices *StageHostServices() { return &services; }

int32_t StageInfoValue() { return infoValue; }

int OpenStage(const char *pluginPath, const char *folder, std::string &error) {
  SetStageFolder(folder);
  warnedEmptyFrame = false;
  if (int code = LoadPluginModule(pluginPath, plugin, error)) return code;
  CallInfoExport();
  FillServices();
  int32_t created = plugin.createStage(&stageObject);
  Trace("CreateStage(stage) -> %d", created);
  std::string broken = CheckCreatedStage(created);
  if (!broken.empty()) {
    error = "the plug-in broke the host contract: " + broken;
    UnloadPluginModule(plugin);
    return kExitBrokeContract;
  }
  Trace("load()");
  stageObject.load();
  return 0;
}

FrameRequests RenderFrame(const View &view, Frame &frame) {
  drawing.clear();
  Trace("draw()");
  stageObject.draw();
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
    stageObject.release();
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
