// stagebench: nanoseconds per draw of the real plug-ins, through their
// exports, with a host whose DrawSurface does nothing, against the floor of
// draw_cost.h. Three rounds of both, one after the other in this process;
// the median ratio is reported.
// Beside them, a plug-in that computes nothing (constant quads): what the
// calls alone cost a plug-in.
// Usage: stagebench.exe [frames]   (run from the folder holding the DLLs)
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "draw_cost.h"
#include "stage_plugin.h"

static Surface *loadResults[3];
static int loadIndex;
static Surface *STAGE_CDECL GiveSurface(const char *, int32_t) {
  return loadResults[loadIndex++ % 3];
}
static int32_t STAGE_CDECL IgnoreRelease(Surface *) { return 0; }
static const char *STAGE_CDECL StageFolder(int32_t) { return "C:\\stage"; }

// One frame's calls as the plug-in made them, replayed by the floor.
static FloorCall floorCalls[3];
static int floorCallCount;

static int32_t STAGE_CDECL RecordDraw(Surface *surface, SourceRect source,
                                      StageQuad quad, int32_t) {
  if (floorCallCount < 3)
    floorCalls[floorCallCount++] = {surface, source, quad};
  return 0;
}

static void Report(const char *name, const char *dll, long frames, int layers) {
  HMODULE library = LoadLibraryA(dll);
  CreateStageFn create =
      library ? reinterpret_cast<CreateStageFn>(reinterpret_cast<void *>(
                    GetProcAddress(library, "CreateStage")))
              : nullptr;
  if (!create) {
    fprintf(stderr, "stagebench: cannot load %s\n", dll);
    exit(1);
  }
  static Surface surfaces[3];
  const float widths[3] = {1280, 960, 800};
  for (int i = 0; i < 3; ++i) {
    surfaces[i].width = widths[i];
    surfaces[i].height = 480;
    loadResults[i] = i < layers ? &surfaces[i] : nullptr;
  }
  loadIndex = 0;
  HostServices host = {};
  host.LoadSurface = GiveSurface;
  host.ReleaseSurface = IgnoreRelease;
  host.DrawSurface = RecordDraw;
  host.GetPath = StageFolder;
  StageObject stage = {};
  stage.host = &host;
  create(&stage);
  stage.load();
  floorCallCount = 0;
  stage.draw();  // the floor replays this frame's calls
  host.DrawSurface = IgnoreDraw;

  CostRound rounds[kCostRounds];
  MeasureDrawCost(stage, floorCalls, floorCallCount, frames, rounds);
  stage.release();
  FreeLibrary(library);
  printf("%s: %d DrawSurface calls a frame; median ratio %.2f\n", name,
         floorCallCount, MedianRatio(rounds));
  for (int round = 0; round < kCostRounds; ++round)
    printf("  round %d: draw %6.1f ns, floor %6.1f ns, ratio %.2f\n", round + 1,
           rounds[round].drawNs, rounds[round].floorNs,
           rounds[round].drawNs / rounds[round].floorNs);
}

int main(int argc, char **argv) {
  long frames = argc > 1 ? atol(argv[1]) : 2000000;
  if (frames < 1) frames = 1;
  Report("stage  (3 layers)", "stage.dll", frames, 3);
  Report("tessel (1 layer) ", "tessel.dll", frames, 1);
  // What three calls cost a plug-in that computes nothing: the least any
  // implementation of stage can pay in this harness.
  Report("constant quads, nothing computed (3 layers)",
         "stagebench_constant.dll", frames, 3);
  return 0;
}
