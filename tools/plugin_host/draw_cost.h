// The cost of a plug-in's draw against its floor, shared by stagebench and
// stagecheck: the floor is the very DrawSurface calls of one frame, with
// the same arguments, made again through the record's service table from a
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

// The least time per frame of draw and of the floor over `batches` pairs
// of batches of `frames` calls, draw and floor taking turns. Whatever else
// runs on the machine only ever adds time to a batch, so the least of many
// short ones is the figure that repeats from run to run (the median of a
// few long rounds does not: a neighbour busy in one of them moves it).
CostRound LeastDrawCost(StageObject &stage, const FloorCall *calls, int count,
                        int batches, long frames);

// The median of the rounds' draw / floor ratios.
double MedianRatio(const CostRound rounds[kCostRounds]);

// A DrawSurface that does nothing but count.
int32_t STAGE_CDECL IgnoreDraw(Surface *, SourceRect, StageQuad, int32_t);
