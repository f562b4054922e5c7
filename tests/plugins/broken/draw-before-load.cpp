// Fault: until load has run, draw shows a placeholder of its own.
#include "stage_plugin.h"

static Surface placeholder;
#define BEFORE_DRAW()                                           \
  if (!loaded) {                                                \
    SourceRect all = {0, 0, 1, 1};                              \
    StageQuad quad = {-1.0f, 1.0f, -1.0f, 1.0f, 1.0f};          \
    HOST()->DrawSurface(&placeholder, all, quad, DRAW_PARAM()); \
    return;                                                     \
  }
#include "skeleton.h"
