// The cost of a plug-in's draw against its floor, for stagebench: the
// floor is the very DrawSurface calls of one frame, with the same
// arguments, made again through the record's service table from a
// callback the compiler cannot see through. What a draw costs beyond the
// floor is the plug-in's own work.
#pragma once

#include "stage_plugin.h"

// One DrawSurface call of a frame, as the plug-in made it.
struct FloorCall {
  Surface *surface;
  SourceRect source;
  StageQuad quad;
};

struct CostRound {
  double drawNs, floorNs;  // per frame
};
const int kCostRounds = 3;

// Times `frames` calls of stage.draw, then of the floor replaying `calls`,
// one after the other, kCostRounds times. The record's DrawSurface should
// do nothing, so that both pay the same for it.
void MeasureDrawCost(StageObject &stage, const FloorCall *calls, int count,
                     long frames, CostRound rounds[kCostRounds]);

// The median of the rounds' draw / floor ratios.
double MedianRatio(const CostRound rounds[kCostRounds]);

// A DrawSurface that does nothing but count.
int32_t STAGE_CDECL IgnoreDraw(Surface *, SourceRect, StageQuad, int32_t);
