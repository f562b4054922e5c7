// A plug-in whose draw never returns, for stagecheck's watchdog.
#include <windows.h>

#include "stage_plugin.h"

static volatile bool forever = true;
static void STAGE_CDECL Nothing() {}
static void STAGE_CDECL Spin() {
  while (forever) {
  }
}

extern "C" __declspec(dllexport) int32_t STAGE_CDECL
    CreateStage(StageObject *stage) {
  stage->draw = Spin;
  stage->load = Nothing;
  stage->release = Nothing;
  stage->aux = Nothing;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
