// Plug-ins with one fault each, for the host's tests: built from this one
// source with FAULT set to the fault's number.
//   1  draw writes through a null pointer (a crash inside the plug-in)
//   2  CreateStage returns 0 and leaves every callback null
#include <windows.h>

#include "stage_plugin.h"

static StageObject *currentStage;

static void STAGE_CDECL Nothing() {}
static void STAGE_CDECL CrashingDraw() {
  volatile int *nowhere = nullptr;
  *nowhere = currentStage ? 1 : 2;
}

extern "C" __declspec(dllexport) int32_t STAGE_CDECL
    CreateStage(StageObject *stage) {
  currentStage = stage;
#if FAULT == 1
  stage->draw = CrashingDraw;
  stage->load = Nothing;
  stage->release = Nothing;
  stage->aux = Nothing;
  return 1;
#else
  return 0;
#endif
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
