// A small, correct stage plug-in of up to three layers, for stagecheck's
// tests. Each source beside this one breaks one rule of the contract: it
// redefines one of the hooks below, then includes this file.
#include <emmintrin.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *layers[3];
static const char *const files[3] = {"back1.bmp", "back2.bmp", "back3.bmp"};
static char path[256];
static bool loaded;

// What the info export stores.
#ifndef STORE_INFO
#define STORE_INFO(info) ((info)->infoValue = STAGE_INFO_VALUE)
#endif
// The exports' calling conventions.
#ifndef INFO_CONVENTION
#define INFO_CONVENTION STAGE_CDECL
#endif
#ifndef CREATE_CONVENTION
#define CREATE_CONVENTION STAGE_CDECL
#endif
// Anything CreateStage does besides storing the record and the callbacks.
#ifndef CREATE_EXTRA
#define CREATE_EXTRA(stage)
#endif
#ifndef STORE_STAGE
#define STORE_STAGE(stage) (currentStage = (stage))
#endif
// The service table of the current record, read at every use.
#ifndef HOST
#define HOST() (currentStage->host)
#endif
// Builds "DIRECTORY\FILE" into `path`; false when it does not fit.
#ifndef BUILD_PATH
#define BUILD_PATH(directory, file)                      \
  (strlen(directory) + 1 + strlen(file) < sizeof path && \
   snprintf(path, sizeof path, "%s\\%s", directory, file) > 0)
#endif
// Whether draw draws layer i.
#ifndef DRAWS_LAYER
#define DRAWS_LAYER(i) (layers[i] != nullptr)
#endif
#ifndef DRAW_PARAM
#define DRAW_PARAM() (currentStage->drawParam)
#endif
// Changes to a layer's quad (frame to frame, say).
#ifndef ADJUST_QUAD
#define ADJUST_QUAD(quad, surface)
#endif
// Whether release passes layer i.
#ifndef RELEASES_LAYER
#define RELEASES_LAYER(i) (layers[i] != nullptr)
#endif
// Called in draw before anything is drawn.
#ifndef BEFORE_DRAW
#define BEFORE_DRAW()
#endif

static int32_t Whole(float value) { return _mm_cvtt_ss2si(_mm_set_ss(value)); }

static void STAGE_CDECL Load() {
  const char *directory = HOST()->GetPath(2);
  for (int i = 0; i < 3; ++i)
    layers[i] = BUILD_PATH(directory, files[i]) ? HOST()->LoadSurface(path, 0)
                                                : nullptr;
  loaded = true;
}

static void STAGE_CDECL Draw() {
  BEFORE_DRAW();
  for (int i = 0; i < 3; ++i) {
    if (!DRAWS_LAYER(i)) continue;
    Surface *s = layers[i];
    SourceRect source = {0, 0, s ? Whole(s->width) : 0,
                         s ? Whole(s->height) : 0};
    float half = s ? s->width / 640.0f : 1.0f;
    StageQuad quad = {-1.0f, 1.0f, -half, half, float(2 - i)};
    ADJUST_QUAD(quad, s);
    HOST()->DrawSurface(s, source, quad, DRAW_PARAM());
  }
}

static void STAGE_CDECL Release() {
  for (int i = 0; i < 3; ++i)
    if (RELEASES_LAYER(i)) HOST()->ReleaseSurface(layers[i]);
  loaded = false;
}

static void STAGE_CDECL Aux() {}

extern "C" __declspec(dllexport) int32_t INFO_CONVENTION
    StageInfo(StageInfoRecord *info) {
  STORE_INFO(info);
  return 1;
}

extern "C" __declspec(dllexport) int32_t CREATE_CONVENTION
    CreateStage(StageObject *stage) {
  STORE_STAGE(stage);
  stage->draw = Draw;
  stage->load = Load;
  stage->release = Release;
  stage->aux = Aux;
  CREATE_EXTRA(stage);
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
