// The pan strip (--pan N): N frames side by side, the camera across the
// range where the stage's edges stay out of sight, each frame with a band
// at the bottom that marks its camera position, so a reader of the image
// sees which frame is where. The live window keeps its camera in the same
// range.
#pragma once

#include <stdint.h>

#include "view.h"

// The colour of the camera mark in each frame of a pan strip (0xRRGGBB);
// the mark sits in the frame's bottom rows, from column 16 (the range's
// low end) to 480 (its high end).
const uint32_t kPanMarkColour = 0xFFD000;

// Where the camera may go along x under `view` for a stage drawn as
// `layers`: the range where the stage's edges stay out of sight, or -1 to
// +1 when that range is (nearly) empty.
void PanRange(const FrameRequests &layers, const View &view, double *low,
              double *high);

// Paints the band at the bottom of `frame`: a track for [low, high], a mark
// at `camera` on it, and the value as text.
void MarkCameraPosition(Frame &frame, double camera, double low, double high);
