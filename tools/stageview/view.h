// How stageview sees a frame: the view coordinates, and everything worked
// out from one frame's draw requests and a view. Each function reads only
// what it is given, so any frame can be looked at, in any order.
//
// View coordinates (how DrawSurface maps a StageQuad onto the frame). This
// projection is this host's own choice; the game's may differ.
//   - units: the quad's own; the eye sits at x = view.x, y = view.y,
//     z = -2 and looks toward +z; x grows to the right, y upward, z away
//     from the eye;
//   - a point (x, y, z) appears at column 320 + f (x - view.x) / (z + 2)
//     and row view.horizonRow - f (y - view.y) / (z + 2) (row 0 at the
//     top), where f = 240 view.zoom. With zoom 1 the view at depth z is
//     (4/3)(z + 2) wide on each side of the axis, so a quad with x1 = -x0 =
//     (4/3)(z + 2), as both plug-ins compute, spans the frame's width;
//   - a quad is flat at depth z: the SourceRect's left edge goes to x0, its
//     right edge to x1, its top row to y1 and its bottom row to y0; its
//     edges are snapped to 1/256 pixel and each frame pixel takes the
//     source pixel under its centre (on a tie, the one right or below), so
//     sampling is the same across the whole frame; quads are painted far to
//     near (larger z first, equal z in call order); quads at z <= -2 are at
//     or behind the eye and are not painted;
//   - pixels of colour key magenta (255, 0, 255) are not painted, so the
//     layers behind show through; where nothing is painted the frame keeps
//     its background colour, kBackground.
// A camera pan along x moves a quad at depth z by f / (z + 2) columns per
// unit: nearer layers move faster (parallax). The eye height view.y does
// the same along the rows.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "stage_plugin.h"

const int kFrameWidth = 640;
const int kFrameHeight = 480;
const uint32_t kBackground = 0x202030;  // 0xRRGGBB
const uint32_t kColourKey = 0xFF00FF;

struct View {
  double x = 0, y = 0;      // the eye (the camera), in view units
  double zoom = 1;          // 1: a quad of x1 = (4/3)(z + 2) fills the width
  double horizonRow = 240;  // the row at the eye's height
};

// The plain view from camera x: eye height 0, zoom 1, horizon mid-frame.
View PlainView(double x);

struct Frame {
  uint32_t pixels[kFrameHeight][kFrameWidth];  // 0xRRGGBB, row 0 on top
};

// A bitmap as the host keeps it.
struct SurfaceImage {
  std::string path;
  int width = 0, height = 0;
  int bitsPerPixel = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, row 0 on top
};

// One DrawSurface call of a frame. The image belongs to the host and lives
// until the stage is closed.
struct DrawRequest {
  const SurfaceImage *image;
  SourceRect source;
  StageQuad quad;
};
// What draw asked for in one frame, in call order.
typedef std::vector<DrawRequest> FrameRequests;

// Paints `frame` from scratch: the background, then the requests far to
// near, seen through `view`.
void PaintFrame(const FrameRequests &requests, const View &view, Frame &frame);

// The framing for an eye at (0, eyeHeight) that fills the frame's rows
// with the frame's layers: the least zoom of at least 1 at which they
// reach from the top row to the bottom one, centred. Without a layer in
// front of the eye, the plain view.
View FittedView(const FrameRequests &requests, double eyeHeight);

// The camera positions along x at which every layer of the frame still
// covers the frame's width under `view` (where the stage's edges stay out
// of sight). False, with nothing set, when no position does.
bool CameraRange(const FrameRequests &requests, const View &view, double *low,
                 double *high);

// The frame's layers, in call order, one line each: file, size and depth,
// the quad the plug-in computed, where it lands in the frame seen through
// `view` and how many columns it moves per camera unit.
std::vector<std::string> DescribeLayers(const FrameRequests &requests,
                                        const View &view);

// A warning for the stage author (without "stageview: warning: ") for each
// of the frame's layers that lies at or behind the eye or wholly outside
// the frame, in call order.
std::vector<std::string> UnseenLayers(const FrameRequests &requests,
                                      const View &view);
