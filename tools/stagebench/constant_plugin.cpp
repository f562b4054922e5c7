// A stage plug-in that computes nothing: three layers drawn at constant
// quads, with the whole-image source rectangle as the real plug-ins build
// it. stagebench times it as the least any plug-in pays for making the
// same three calls, beside the real ones.
#include <windows.h>

#include "stage_common.h"
#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *layers[3];

static void STAGE_CDECL Load() {
  static const char *const files[3] = {"back1.bmp", "back2.bmp", "back3.bmp"};
  const char *directory = currentStage->host->GetPath(2);
  for (int i = 0; i < 3; ++i) {
    StagePath path;
    layers[i] = BuildStagePath(path, directory, files[i])
                    ? currentStage->host->LoadSurface(path, 0)
                    : nullptr;
  }
}

static void STAGE_CDECL Draw() {
  static const StageQuad quads[3] = {{-1.9f, 0.17f, -2.7f, 2.7f, 0.03f},
                                     {-3.0f, 0.62f, -4.0f, 4.0f, 1.03f},
                                     {-6.7f, 1.32f, -6.7f, 6.7f, 3.03f}};
  for (int i = 0; i < 3; ++i)
    if (layers[i])
      currentStage->host->DrawSurface(layers[i], WholeImage(layers[i]),
                                      quads[i], currentStage->drawParam);
}

static void STAGE_CDECL Release() {
  for (Surface *layer : layers)
    if (layer) currentStage->host->ReleaseSurface(layer);
}

static void STAGE_CDECL Nothing() {}

extern "C" __declspec(dllexport) int32_t STAGE_CDECL
    CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = Draw;
  stage->load = Load;
  stage->release = Release;
  stage->aux = Nothing;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
