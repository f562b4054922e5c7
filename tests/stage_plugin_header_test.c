/* The interface header as a C host or plug-in elsewhere sees it: built as
 * C11 with every warning an error, and the record layouts checked from C. */
#include "stage_plugin.h"

/* A plug-in's side, in C: the exports and one callback. */
static StageObject *stageRecord;

static void STAGE_CDECL DrawNothing(void) {}

int32_t STAGE_CDECL CreateStage(StageObject *stage) {
  stageRecord = stage;
  stage->draw = DrawNothing;
  return 1;
}

int32_t STAGE_CDECL StageInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

/* The types the host hands over, usable by value as in C. */
static int32_t STAGE_CDECL DrawSurfaceStub(Surface *surface, SourceRect source,
                                           StageQuad quad, int32_t param) {
  (void)surface;
  (void)quad;
  return source.right + param;
}

DrawSurfaceFn drawSurfaceFromC = DrawSurfaceStub;
CreateStageFn createStageFromC = CreateStage;
StageInfoFn stageInfoFromC = StageInfo;
