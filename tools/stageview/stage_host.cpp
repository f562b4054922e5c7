// The host itself: the services a plug-in calls, the stage's life from
// CreateStage to release, and the painting of each frame's quads.
#include "stage_host.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "bitmap_file.h"
#include "exit_codes.h"
#include "host_text.h"
#include "plugin_module.h"
#include "service_table.h"

void (*traceLine)(const std::string &line);
FILE *hostWarnings = stderr;

namespace {

// A surface as the host keeps it. The plug-in gets the address of
// `surface`; the host finds its record again by that address, so a pointer
// it never handed out is recognised as unknown.
struct HostSurface {
  Surface surface;
  int number;  // 1, 2, ... in load order, for traces and reports
  std::string path;
  int width, height;
  int bitsPerPixel;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, row 0 on top
  int releases;
};

struct DrawRequest {
  HostSurface *surface;
  SourceRect source;
  StageQuad quad;
  size_t order;
};

PluginModule plugin;
int32_t infoValue = -1;
StageObject stageObject;
HostServices services;
char stageFolder[1024];
std::vector<HostSurface *> surfaces;  // every surface ever loaded
std::vector<DrawRequest> requests;    // of the frame being drawn
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
    snprintf(name, sizeof name, "%s", FileNameOf(s->path).c_str());
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
    s->path = path;
    s->releases = 0;
    s->width = bitmap.width;
    s->bitsPerPixel = bitmap.bitsPerPixel;
    s->height = bitmap.height;
    s->pixels.swap(bitmap.pixels);
    snprintf(reinterpret_cast<char *>(s->surface.hostData),
             sizeof s->surface.hostData, "stageview surface %d", s->number);
    s->surface.width = float(s->width);
    s->surface.height = float(s->height);
    surfaces.push_back(s);
  } else {
    fprintf(hostWarnings, "stageview: warning: %s: %s\n", path, why.c_str());
  }
  if (s)
    Trace("  LoadSurface(\"%s\", %d) -> %s (%d x %d, %d-bit)", path, mode,
          FileNameOf(s->path).c_str(), s->width, s->height, s->bitsPerPixel);
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
    problems.push_back("surface " + std::to_string(s->number) + " (" + s->path +
                       ") released twice");
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
  requests.push_back({s, source, quad, requests.size()});
  return 1;
}

const char *STAGE_CDECL GetPath(int32_t kind) {
  // Only kind 2, the stage's bitmap folder, means something to this host.
  const char *path = kind == 2 ? stageFolder : "";
  Trace("  GetPath(%d) -> \"%s\"", kind, path);
  return path;
}

template <int slot>
int32_t STAGE_CDECL ReservedSlot() {
  Trace("  reserved slot %d called", slot);
  problems.push_back("the plug-in called reserved slot " +
                     std::to_string(slot));
  return 0;
}

// Where a quad's edges land in the frame seen through `view` (in pixels,
// not clipped), and its distance from the eye: the view coordinates of
// stage_host.h. A depth of 0 or less is at or behind the eye.
struct Landing {
  double depth, left, right, top, bottom;
};

Landing Project(const StageQuad &q, const View &view) {
  double depth = double(q.z) + 2;
  double f = 240 * view.zoom;
  return {depth, 320 + f * (q.x0 - view.x) / depth,
          320 + f * (q.x1 - view.x) / depth,
          view.horizonRow - f * (q.y1 - view.y) / depth,
          view.horizonRow - f * (q.y0 - view.y) / depth};
}

bool Drawable(const Landing &at) {
  return at.depth > 0 && std::isfinite(at.left) && std::isfinite(at.right) &&
         std::isfinite(at.top) && std::isfinite(at.bottom);
}

// Snapped to 1/256 pixel, as rasterisers do: edges that float rounding
// puts a hair off a pixel boundary land on it, so a 2:1 reduction samples
// the same source column in every pair across the frame.
double Snap(double edge) { return std::round(edge * 256) / 256; }

// The first frame pixel whose centre lies at or past `edge`, and the one
// after the last before `end`, within [0, limit]; in floating point until
// clipped, since a quad just in front of the eye spans far more than an
// int holds.
int FirstPixel(double edge, int limit) {
  return int(std::clamp(std::ceil(edge - 0.5), 0.0, double(limit)));
}

// The source pixel under the centre of frame pixel `pixel` for a span of
// `count` source pixels from `from` landing between `start` and `end`.
int SourcePixel(int pixel, double start, double end, int from, int count) {
  double at = std::floor((pixel + 0.5 - start) * count / (end - start));
  return from + int(std::clamp(at, 0.0, double(count - 1)));
}

void Paint(const DrawRequest &r, const View &view, Frame &frame) {
  const HostSurface &s = *r.surface;
  const Landing at = Project(r.quad, view);
  if (!Drawable(at)) return;  // at or behind the eye, or nowhere
  const double left = Snap(at.left), right = Snap(at.right), top = Snap(at.top),
               bottom = Snap(at.bottom);
  int srcLeft = std::max(0, r.source.left), srcTop = std::max(0, r.source.top);
  int srcRight = std::min(s.width, r.source.right);
  int srcBottom = std::min(s.height, r.source.bottom);
  if (srcLeft >= srcRight || srcTop >= srcBottom) return;
  if (left == right || top == bottom) return;
  int colFirst = FirstPixel(std::min(left, right), kFrameWidth);
  int colEnd = FirstPixel(std::max(left, right), kFrameWidth);
  int rowFirst = FirstPixel(std::min(top, bottom), kFrameHeight);
  int rowEnd = FirstPixel(std::max(top, bottom), kFrameHeight);
  // Every row samples the same source columns: worked out once.
  int sourceColumn[kFrameWidth];
  for (int col = colFirst; col < colEnd; ++col)
    sourceColumn[col] =
        SourcePixel(col, left, right, srcLeft, srcRight - srcLeft);
  for (int row = rowFirst; row < rowEnd; ++row) {
    int y = SourcePixel(row, top, bottom, srcTop, srcBottom - srcTop);
    const uint32_t *line = &s.pixels[size_t(y) * s.width];
    for (int col = colFirst; col < colEnd; ++col) {
      uint32_t colour = line[sourceColumn[col]];
      if (colour != kColourKey) frame.pixels[row][col] = colour;
    }
  }
}

}  // namespace

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

namespace {

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
  void *const reserved[kReservedSlotCount] = {
      reinterpret_cast<void *>(&ReservedSlot<0>),
      reinterpret_cast<void *>(&ReservedSlot<1>),
      reinterpret_cast<void *>(&ReservedSlot<2>),
      reinterpret_cast<void *>(&ReservedSlot<5>),
      reinterpret_cast<void *>(&ReservedSlot<6>)};
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

View PlainView(double x) {
  View view;
  view.x = x;
  return view;
}

void RenderFrame(const View &view, Frame &frame) {
  requests.clear();
  Trace("draw()");
  stageObject.draw();
  for (auto &row : frame.pixels)
    for (uint32_t &p : row) p = kBackground;
  std::stable_sort(requests.begin(), requests.end(),
                   [](const DrawRequest &a, const DrawRequest &b) {
                     return a.quad.z > b.quad.z;
                   });
  for (const DrawRequest &r : requests) Paint(r, view, frame);
  if (requests.empty() && !warnedEmptyFrame) {
    fprintf(hostWarnings,
            "stageview: warning: the plug-in drew nothing in this frame "
            "(no bitmap loaded?)\n");
    warnedEmptyFrame = true;
  }
}

View FitToStage(double eyeHeight, Frame &scratch) {
  RenderFrame(PlainView(0), scratch);
  return FittedView(eyeHeight);
}

View FittedView(double eyeHeight) {
  View view = PlainView(0);
  view.y = eyeHeight;
  // The layers' rows at zoom 1, counted from the horizon.
  double top = INFINITY, bottom = -INFINITY;
  for (const DrawRequest &r : requests) {
    const Landing at = Project(r.quad, view);
    if (!Drawable(at)) continue;
    top = std::min({top, at.top - 240, at.bottom - 240});
    bottom = std::max({bottom, at.top - 240, at.bottom - 240});
  }
  if (!(bottom > top)) return view;
  // Beyond 64 a layer is a sliver; better seen small than blown up.
  view.zoom = std::clamp(kFrameHeight / (bottom - top), 1.0, 64.0);
  view.horizonRow = kFrameHeight / 2 - view.zoom * (top + bottom) / 2;
  return view;
}

bool CameraRange(const View &view, double *low, double *high) {
  double from = -INFINITY, to = INFINITY;
  bool any = false;
  for (const DrawRequest &r : requests) {
    View centred = view;
    centred.x = 0;
    if (!Drawable(Project(r.quad, centred))) continue;
    // Half the frame's width, in units at this layer's depth.
    double halfWidth = 320 * (double(r.quad.z) + 2) / (240 * view.zoom);
    from = std::max(from, std::min(r.quad.x0, r.quad.x1) + halfWidth);
    to = std::min(to, std::max(r.quad.x0, r.quad.x1) - halfWidth);
    any = true;
  }
  if (!any || !(from <= to) || !std::isfinite(from) || !std::isfinite(to))
    return false;
  *low = from, *high = to;
  return true;
}

namespace {

// The last frame's layers in the order draw asked for them.
std::vector<DrawRequest> InCallOrder() {
  std::vector<DrawRequest> inCallOrder = requests;
  std::sort(inCallOrder.begin(), inCallOrder.end(),
            [](const DrawRequest &a, const DrawRequest &b) {
              return a.order < b.order;
            });
  return inCallOrder;
}

// Where a layer in front of the eye lands, in whole pixels (and no "-0").
struct Footprint {
  double colA, colB, rowA, rowB;
  bool outside;  // wholly outside the frame
};

Footprint FootprintOf(const Landing &at) {
  auto whole = [](double v) { return std::round(v) + 0.0; };
  Footprint f;
  f.colA = whole(std::min(at.left, at.right));
  f.colB = whole(std::max(at.left, at.right));
  f.rowA = whole(std::min(at.top, at.bottom));
  f.rowB = whole(std::max(at.top, at.bottom));
  f.outside = !(f.colB > 0 && f.colA < kFrameWidth && f.rowB > 0 &&
                f.rowA < kFrameHeight);
  return f;
}

std::string DescribeLayer(const DrawRequest &r, const View &view) {
  const HostSurface &s = *r.surface;
  const StageQuad &q = r.quad;
  char line[512];
  snprintf(line, sizeof line,
           "%s: %d x %d, %d-bit; quad z %.4g, x %.4g to %.4g, y %.4g to %.4g",
           FileNameOf(s.path).c_str(), s.width, s.height, s.bitsPerPixel, q.z,
           q.x0, q.x1, q.y0, q.y1);
  std::string text = line;
  const Landing at = Project(q, view);
  if (!(at.depth > 0)) return text + "; behind the eye: not drawn";
  const Footprint f = FootprintOf(at);
  snprintf(line, sizeof line,
           "; lands on columns %.0f to %.0f, rows %.0f to %.0f%s; moves "
           "%.1f columns per camera unit",
           f.colA, f.colB, f.rowA, f.rowB,
           f.outside ? " (wholly outside the 640 x 480 frame)" : "",
           240 * view.zoom / at.depth);
  return text + line;
}

void WarnIfUnseen(const DrawRequest &r, const View &view) {
  std::string file = FileNameOf(r.surface->path);
  const Landing at = Project(r.quad, view);
  if (!(at.depth > 0)) {
    fprintf(hostWarnings,
            "stageview: warning: %s lies at or behind the eye (z = %.4g, "
            "the eye is at -2): it is not drawn\n",
            file.c_str(), r.quad.z);
    return;
  }
  const Footprint f = FootprintOf(at);
  if (f.outside)
    fprintf(hostWarnings,
            "stageview: warning: %s lands wholly outside the frame "
            "(columns %.0f to %.0f, rows %.0f to %.0f)\n",
            file.c_str(), f.colA, f.colB, f.rowA, f.rowB);
}

}  // namespace

std::vector<std::string> DescribeLayers(const View &view) {
  std::vector<std::string> lines;
  for (const DrawRequest &r : InCallOrder())
    lines.push_back(DescribeLayer(r, view));
  return lines;
}

void WarnOfUnseenLayers(const View &view) {
  for (const DrawRequest &r : InCallOrder()) WarnIfUnseen(r, view);
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
                         s->path + ") never released");
    delete s;
  }
  surfaces.clear();
  std::vector<std::string> result;
  result.swap(problems);
  return result;
}
