// tessel: the single-layer stage. One background bitmap, "back1.bmp" from the
// stage's directory, drawn every frame at the same place and depth.
//
// State: the record last given to CreateStage and the loaded surface. Nothing
// is allocated; draw keeps nothing between frames.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "stage_math.h"
#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *backSurface;

// clang-format off
//                       bits        value            use
static const float kMinusOne       = FloatFromBits(0xBF800000);  // -1     y0
static const float kOne            = FloatFromBits(0x3F800000);  //  1     y1
static const float kVerticalScale  = FloatFromBits(0x3F83D70A);  //  1.03  y0, y1
static const float kLeft           = FloatFromBits(0xC02D3A07);  // -(4/3) * 2.03
static const float kRight          = FloatFromBits(0x402D3A07);  //  (4/3) * 2.03
static const float kDepth          = FloatFromBits(0x3CF5C28F);  //  0.03
// clang-format on

static void __cdecl LoadTessel() {
  const char *directory = currentStage->host->GetPath(2);
  char path[256];
  // A directory too long for the buffer leaves the layer absent rather
  // than loading a cut path.
  int length = _snprintf(path, sizeof path, "%s\\back1.bmp", directory);
  if (length < 0 || length >= static_cast<int>(sizeof path)) {
    backSurface = nullptr;
    return;
  }
  backSurface = currentStage->host->LoadSurface(path, 0);
}

static void __cdecl DrawTessel() {
  Surface *surface = backSurface;
  if (!surface) return;

  SourceRect source = {0, 0, TruncateToInt32(surface->width),
                       TruncateToInt32(surface->height)};
  // Double arithmetic, rounded to float once per field.
  StageQuad quad;
  quad.y0 =
      static_cast<float>((static_cast<double>(kMinusOne) - tangentOfAngle) *
                         static_cast<double>(kVerticalScale));
  quad.y1 = static_cast<float>((static_cast<double>(kOne) - tangentOfAngle) *
                               static_cast<double>(kVerticalScale));
  quad.x0 = kLeft;
  quad.x1 = kRight;
  quad.z = kDepth;
  currentStage->host->DrawSurface(surface, source, quad,
                                  currentStage->drawParam);
}

static void __cdecl ReleaseTessel() {
  if (backSurface) currentStage->host->ReleaseSurface(backSurface);
}

static void __cdecl AuxTessel() {}

extern "C" int32_t __cdecl CharacterInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

extern "C" int32_t __cdecl CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = DrawTessel;
  stage->load = LoadTessel;
  stage->release = ReleaseTessel;
  stage->aux = AuxTessel;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
