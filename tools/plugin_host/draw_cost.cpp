#include "draw_cost.h"

#include <windows.h>

#include <algorithm>

namespace {

const FloorCall *floorCalls;
int floorCallCount;
StageObject *volatile floorStage;
volatile long drawCalls;

__attribute__((noinline)) void STAGE_CDECL FloorDraw() {
  StageObject *stage = floorStage;
  for (int i = 0; i < floorCallCount; ++i) {
    const FloorCall &call = floorCalls[i];
    stage->host->DrawSurface(call.surface, call.source, call.quad,
                             stage->drawParam);
  }
}

// Nanoseconds per call of `callback`, one the compiler cannot see.
double NanosecondsPerCall(StageCallback callback, long count) {
  StageCallback volatile call = callback;
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (long i = 0; i < count; ++i) call();
  QueryPerformanceCounter(&end);
  return double(end.QuadPart - start.QuadPart) * 1e9 /
         double(frequency.QuadPart) / double(count);
}

}  // namespace

int32_t STAGE_CDECL IgnoreDraw(Surface *, SourceRect, StageQuad, int32_t) {
  drawCalls = drawCalls + 1;
  return 1;
}

void MeasureDrawCost(StageObject &stage, const FloorCall *calls, int count,
                     long frames, CostRound rounds[kCostRounds]) {
  floorCalls = calls;
  floorCallCount = count;
  floorStage = &stage;
  for (int round = 0; round < kCostRounds; ++round) {
    rounds[round].drawNs = NanosecondsPerCall(stage.draw, frames);
    rounds[round].floorNs = NanosecondsPerCall(FloorDraw, frames);
  }
}

double MedianRatio(const CostRound rounds[kCostRounds]) {
  double ratios[kCostRounds];
  for (int i = 0; i < kCostRounds; ++i)
    ratios[i] = rounds[i].drawNs / rounds[i].floorNs;
  std::sort(ratios, ratios + kCostRounds);
  return ratios[kCostRounds / 2];
}
