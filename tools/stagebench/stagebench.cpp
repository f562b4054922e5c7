// stagebench: nanoseconds per draw of the real plug-ins, through their
// exports, with a host whose DrawSurface does nothing. The floor is the same
// number of DrawSurface calls made directly with constant arguments: what a
// draw costs beyond it is the plug-in's own work.
// Usage: stagebench.exe [frames]   (run from the folder holding the DLLs)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "stage_plugin.h"

static volatile long drawCalls;

static int32_t __cdecl IgnoreDraw(Surface *, SourceRect, StageQuad, int32_t) {
  drawCalls = drawCalls + 1;
  return 0;
}
static Surface *loadResults[3];
static int loadIndex;
static Surface *__cdecl GiveSurface(const char *, int32_t) {
  return loadResults[loadIndex++ % 3];
}
static int32_t __cdecl IgnoreRelease(Surface *) { return 0; }
static const char *__cdecl StageFolder(int32_t) { return "C:\\stage"; }

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Direct calls through a pointer the compiler cannot see through.
static double FloorNanoseconds(long calls) {
  DrawSurfaceFn volatile draw = IgnoreDraw;
  Surface surface = {};
  SourceRect source = {0, 0, 1280, 480};
  StageQuad quad = {-1.0f, 0.1f, -2.7f, 2.7f, 0.03f};
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  for (long i = 0; i < calls; ++i) draw(&surface, source, quad, 0);
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * 1e9;
}

static double DrawNanoseconds(const char *dll, long frames, int layers,
                              long *callsMade) {
  HMODULE library = LoadLibraryA(dll);
  if (!library) {
    fprintf(stderr, "stagebench: cannot load %s\n", dll);
    exit(1);
  }
  CreateStageFn create = reinterpret_cast<CreateStageFn>(
      reinterpret_cast<void *>(GetProcAddress(library, "CreateStage")));
  HostServices host = {};
  host.LoadSurface = GiveSurface;
  host.ReleaseSurface = IgnoreRelease;
  host.DrawSurface = IgnoreDraw;
  host.GetPath = StageFolder;
  static Surface surfaces[3];
  const float widths[3] = {1280, 960, 800};
  for (int i = 0; i < 3; ++i) {
    surfaces[i].width = widths[i];
    surfaces[i].height = 480;
    loadResults[i] = i < layers ? &surfaces[i] : nullptr;
  }
  loadIndex = 0;
  StageObject stage = {};
  stage.host = &host;
  create(&stage);
  stage.load();
  drawCalls = 0;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  for (long i = 0; i < frames; ++i) stage.draw();
  QueryPerformanceCounter(&end);
  *callsMade = drawCalls;
  stage.release();
  FreeLibrary(library);
  return Seconds(start, end) * 1e9;
}

static void Report(const char *name, const char *dll, long frames, int layers) {
  long calls = 0;
  double draw = DrawNanoseconds(dll, frames, layers, &calls);
  double floor = FloorNanoseconds(calls);
  printf(
      "%s: %7.1f ns per draw; floor %7.1f ns (%ld direct DrawSurface "
      "calls); ratio %.2f\n",
      name, draw / frames, floor / frames, calls, draw / floor);
}

int main(int argc, char **argv) {
  long frames = argc > 1 ? atol(argv[1]) : 2000000;
  Report("stage  (3 layers)", "stage.dll", frames, 3);
  Report("tessel (1 layer) ", "tessel.dll", frames, 1);
  return 0;
}
