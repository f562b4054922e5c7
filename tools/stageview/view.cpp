// The view geometry of view.h: the projection of a quad, the painting of a
// frame, and the framing, camera range and descriptions worked out from a
// frame's requests.
#include "view.h"

#include <stdio.h>

#include <algorithm>
#include <cmath>

#include "host_text.h"

namespace {

// Where a quad's edges land in the frame seen through `view` (in pixels,
// not clipped), and its distance from the eye: the view coordinates of
// view.h. A depth of 0 or less is at or behind the eye.
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
  const SurfaceImage &s = *r.image;
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
  const SurfaceImage &s = *r.image;
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

// Why the layer is not seen, or "".
std::string Unseen(const DrawRequest &r, const View &view) {
  std::string file = FileNameOf(r.image->path);
  const Landing at = Project(r.quad, view);
  char line[512] = "";
  if (!(at.depth > 0)) {
    snprintf(line, sizeof line,
             "%s lies at or behind the eye (z = %.4g, the eye is at -2): it "
             "is not drawn",
             file.c_str(), r.quad.z);
    return line;
  }
  const Footprint f = FootprintOf(at);
  if (f.outside)
    snprintf(line, sizeof line,
             "%s lands wholly outside the frame (columns %.0f to %.0f, rows "
             "%.0f to %.0f)",
             file.c_str(), f.colA, f.colB, f.rowA, f.rowB);
  return line;
}

}  // namespace

View PlainView(double x) {
  View view;
  view.x = x;
  return view;
}

void PaintFrame(const FrameRequests &requests, const View &view, Frame &frame) {
  for (auto &row : frame.pixels)
    for (uint32_t &p : row) p = kBackground;
  FrameRequests farToNear = requests;
  std::stable_sort(farToNear.begin(), farToNear.end(),
                   [](const DrawRequest &a, const DrawRequest &b) {
                     return a.quad.z > b.quad.z;
                   });
  for (const DrawRequest &r : farToNear) Paint(r, view, frame);
}

View FittedView(const FrameRequests &requests, double eyeHeight) {
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

bool CameraRange(const FrameRequests &requests, const View &view, double *low,
                 double *high) {
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
  *low = from;
  *high = to;
  return true;
}

std::vector<std::string> DescribeLayers(const FrameRequests &requests,
                                        const View &view) {
  std::vector<std::string> lines;
  for (const DrawRequest &r : requests) lines.push_back(DescribeLayer(r, view));
  return lines;
}

std::vector<std::string> UnseenLayers(const FrameRequests &requests,
                                      const View &view) {
  std::vector<std::string> warnings;
  for (const DrawRequest &r : requests) {
    std::string why = Unseen(r, view);
    if (!why.empty()) warnings.push_back(why);
  }
  return warnings;
}
