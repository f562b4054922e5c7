// tessel: the single-layer stage. One background bitmap, "back1.bmp" from the
// stage's directory, drawn every frame at the same place and depth.
//
// State: the record last given to CreateStage and the loaded surface. Nothing
// is allocated; draw keeps nothing between frames.
#include <windows.h>

#include "stage_common.h"
#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *backSurface;

// The fixed quad. y0 and y1 are computed in double from float32 inputs
// and rounded once; x0, x1 and z are float32 constants.
// clang-format off
//                                                              bits   value
static const double one           = FloatFromBits(0x3F800000);  // 1
static const double verticalScale = FloatFromBits(0x3F83D70A);  // 1.03
static const float  left          = FloatFromBits(0xC02D3A07);  // -(4/3) * 2.03
static const float  right         = FloatFromBits(0x402D3A07);  //  (4/3) * 2.03
static const float  depth         = FloatFromBits(0x3CF5C28F);  //  0.03
// clang-format on

static void STAGE_CDECL LoadTessel() {
  const char *directory = currentStage->host->GetPath(2);
  StagePath path;
  backSurface = BuildStagePath(path, directory, "back1.bmp")
                    ? currentStage->host->LoadSurface(path, 0)
                    : nullptr;
}

static void STAGE_CDECL DrawTessel() {
  Surface *surface = backSurface;
  if (!surface) return;
  const SourceRect source = WholeImage(surface);
  StageQuad quad;
  quad.y0 = F((-one - tangentOfAngle) * verticalScale);
  quad.y1 = F((one - tangentOfAngle) * verticalScale);
  quad.x0 = left;
  quad.x1 = right;
  quad.z = depth;
  currentStage->host->DrawSurface(surface, source, quad,
                                  currentStage->drawParam);
}

static void STAGE_CDECL ReleaseTessel() {
  if (backSurface) currentStage->host->ReleaseSurface(backSurface);
}

static void STAGE_CDECL AuxTessel() {}

extern "C" int32_t STAGE_CDECL CharacterInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

extern "C" int32_t STAGE_CDECL CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = DrawTessel;
  stage->load = LoadTessel;
  stage->release = ReleaseTessel;
  stage->aux = AuxTessel;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
