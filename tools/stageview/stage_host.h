// A reference game host for stage plug-ins: it loads a plug-in DLL, plays
// the host's part of the interface in stage_plugin.h, and renders what the
// plug-in draws into a 640 x 480 frame.
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
#include <stdio.h>

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

// Where trace lines go (one call per line, without a line feed); null: off.
extern void (*traceLine)(const std::string &line);
// Where the host's warnings to the stage author go (stderr by default).
extern FILE *hostWarnings;

// Loads the plug-in, calls its info export (StageInfo or CharacterInfo) and
// CreateStage, then load. On failure returns stageview's exit code for it
// (exit_codes.h: kExitCannotLoadPlugin, kExitNotAStagePlugin, or
// kExitBrokeContract when CreateStage does not return 1 or leaves a
// callback null) with `error` set, and leaves nothing loaded; 0 on success.
int OpenStage(const char *pluginPath, const char *stageFolder,
              std::string &error);

// The info value that the info export wrote (or -1 without one).
int32_t StageInfoValue();

// One frame: calls draw and paints what it asked for, seen from `view`.
void RenderFrame(const View &view, Frame &frame);

// The framing for the stage just opened: draws one frame into `scratch` to
// learn its layers, then fits the view to them (FittedView).
View FitToStage(double eyeHeight, Frame &scratch);

// The framing for an eye at (0, eyeHeight) that fills the frame's rows
// with the last frame's layers: the least zoom of at least 1 at which they
// reach from the top row to the bottom one, centred. Without a layer in
// front of the eye, the plain view.
View FittedView(double eyeHeight);

// The camera positions along x at which every layer of the last frame
// still covers the frame's width under `view` (where the stage's edges
// stay out of sight). False, with nothing set, when no position does.
bool CameraRange(const View &view, double *low, double *high);

// What the last frame's layers were, in call order, one line each: file,
// size and depth, the quad the plug-in computed, where it lands in the
// frame seen through `view` and how many columns it moves per camera unit.
std::vector<std::string> DescribeLayers(const View &view);

// Warns the stage author (hostWarnings) of each of the last frame's layers
// that lies at or behind the eye or wholly outside the frame.
void WarnOfUnseenLayers(const View &view);

// Calls release, unloads the plug-in and checks the plug-in's part of the
// contract. Returns what went wrong on the host side, one text each: a
// surface released twice or never, an unknown surface, a reserved slot
// called. Empty when all was well.
std::vector<std::string> CloseStage();

// Whether an address lies in the loaded plug-in's image (for telling a
// crash of the plug-in from one of the host).
bool AddressInPlugin(const void *address);

// Removes trailing '\\' and '/' from a folder given as code page 932 text;
// only real separators go, and a lone root separator stays.
void StripTrailingSeparators(char *folder);

// The service table handed to the plug-in (for tests of the host itself).
HostServices *StageHostServices();
