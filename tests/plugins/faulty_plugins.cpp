// Plug-ins with one fault each, for the host's tests: built from this one
// source with FAULT set to the fault's number.
//   1  draw writes through a null pointer (a crash inside the plug-in)
//   2  CreateStage returns 0 and leaves every callback null
//   3  no fault: back1.bmp drawn as a quad just in front of the eye that
//      covers the whole view many times over
//   4  loads back1.bmp, draws it once, and from the second frame on never
//      returns from draw (a host must not hang with it, in any mode)
//   5  imports a function of absent_helper.dll, which lies in a folder
//      Windows does not search: it cannot be loaded
#include <windows.h>

#include "stage_plugin.h"

#if FAULT == 5
extern "C" __declspec(dllimport) int AbsentHelper();
#endif

static StageObject *currentStage;

static Surface *backSurface;

static void STAGE_CDECL Nothing() {}
static void STAGE_CDECL LoadBack1() {
  char path[300];
  wsprintfA(path, "%s\\back1.bmp", currentStage->host->GetPath(2));
  backSurface = currentStage->host->LoadSurface(path, 0);
}
static void STAGE_CDECL DrawNearTheEye() {
  if (!backSurface) return;
  SourceRect source = {0, 0, int32_t(backSurface->width),
                       int32_t(backSurface->height)};
  StageQuad quad = {-1.0f, 1.0f, -1.0f, 1.0f, -1.99999994f};
  currentStage->host->DrawSurface(backSurface, source, quad, 0);
}
static void STAGE_CDECL ReleaseBack1() {
  if (backSurface) currentStage->host->ReleaseSurface(backSurface);
}
static void STAGE_CDECL HangingDraw() {
  static int frames;
  if (++frames == 1) return DrawNearTheEye();
  for (;;) Sleep(1000);
}
static void STAGE_CDECL CrashingDraw() {
  volatile int *nowhere = nullptr;
  *nowhere = currentStage ? 1 : 2;
}

static int32_t Install(StageObject *stage, StageCallback draw,
                       StageCallback load, StageCallback release) {
  stage->draw = draw;
  stage->load = load;
  stage->release = release;
  stage->aux = Nothing;
  return 1;
}

extern "C" __declspec(dllexport) int32_t STAGE_CDECL
    CreateStage(StageObject *stage) {
  currentStage = stage;
#if FAULT == 1
  return Install(stage, CrashingDraw, Nothing, Nothing);
#elif FAULT == 3
  return Install(stage, DrawNearTheEye, LoadBack1, ReleaseBack1);
#elif FAULT == 4
  return Install(stage, HangingDraw, LoadBack1, ReleaseBack1);
#elif FAULT == 5
  return Install(stage, Nothing, Nothing, Nothing) + AbsentHelper();
#else
  return 0;
#endif
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
