// stage: the layered background stage. Up to three bitmaps, "back1.bmp" to
// "back3.bmp" from the stage's directory, each drawn every frame at a depth
// that follows from its width: the wider beyond 640, the nearer (smaller z).
//
// Arithmetic: inputs and constants are float32; every step is an IEEE double
// operation; values become float32 only where a comment says so. Builds use
// SSE2 maths so that no x87 extended precision leaks into the results.
//
// State: the record last given to CreateStage and the three surfaces.
// Nothing is allocated; draw keeps nothing between frames.
#include <stdio.h>
#include <windows.h>

#include "stage_math.h"
#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *backSurface1;
static Surface *backSurface2;
static Surface *backSurface3;

// clang-format off
//                                         bits          value
static const float referenceWidth   = FloatFromBits(0x44200000);  // 640
static const float kOne             = FloatFromBits(0x3F800000);  // 1
static const float kMinusOne        = FloatFromBits(0xBF800000);  // -1
static const float depthStep        = FloatFromBits(0x3CF5C28F);  // 0.03
static const float kTwo             = FloatFromBits(0x40000000);  // 2
static const float kFourThirds      = FloatFromBits(0x3FAAAAAB);  // 4/3, x1
static const float kMinusFourThirds = FloatFromBits(0xBFAAAAAB);  // -4/3, x0
// clang-format on

enum VerticalRule { TangentRule, HeightRule };

struct LayerRule {
  Surface **slot;
  const char *pathFormat;
  bool roundBaseDepth;  // base depth turned into float32 before the step
  VerticalRule verticalRule;
  float heightFactor;       // k, positive for y1
  float minusHeightFactor;  // -k, for y0
  float verticalOffset;     // c
};

// clang-format off
static const LayerRule layerRules[] = {
  // slot           file                  round  rule         k                          -k                         c
  {&backSurface1, "%s\\back1.bmp", false, TangentRule, 0.0f,                      0.0f,                      0.0f},
  {&backSurface2, "%s\\back2.bmp", true,  HeightRule,  FloatFromBits(0x3AA3D70B), FloatFromBits(0xBAA3D70B), FloatFromBits(0x3F99999A)},
  {&backSurface3, "%s\\back3.bmp", true,  HeightRule,  FloatFromBits(0x3ADA740E), FloatFromBits(0xBADA740E), FloatFromBits(0x402CCCCD)},
  //                                                   0.00125 (one ulp up)       -0.00125                   1.2
  //                                                   1/600                      -1/600                     2.7
};
// clang-format on

static void __cdecl LoadStage() {
  const char *directory = currentStage->host->GetPath(2);
  for (const LayerRule &layer : layerRules) {
    char path[256];
    // A directory too long for the buffer leaves the layer absent rather
    // than loading a cut path.
    int length = _snprintf(path, sizeof path, layer.pathFormat, directory);
    if (length < 0 || length >= static_cast<int>(sizeof path)) {
      *layer.slot = nullptr;
      continue;
    }
    *layer.slot = currentStage->host->LoadSurface(path, 0);
  }
}

static void __cdecl DrawStage() {
  // The working quad. Its z carries the depth of the layer drawn last in
  // this call; a 640-wide layer with nothing drawn before it starts from 0.
  StageQuad quad = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  for (const LayerRule &layer : layerRules) {
    Surface *surface = *layer.slot;
    if (!surface) continue;

    const float width = surface->width;
    const float height = surface->height;
    SourceRect source = {0, 0, TruncateToInt32(width), TruncateToInt32(height)};

    double baseDepth;
    if (width == referenceWidth) {
      baseDepth = quad.z;
    } else {
      double excess = static_cast<double>(width) - referenceWidth;
      double ratio = static_cast<double>(referenceWidth) / excess;
      baseDepth = ratio - static_cast<double>(kOne);
      if (layer.roundBaseDepth) baseDepth = static_cast<float>(baseDepth);
    }
    double depth = baseDepth + static_cast<double>(depthStep);
    quad.z = static_cast<float>(depth);
    double spread = depth + static_cast<double>(kTwo);  // from the double depth
    quad.x0 =
        static_cast<float>(spread * static_cast<double>(kMinusFourThirds));
    quad.x1 = static_cast<float>(spread * static_cast<double>(kFourThirds));

    if (layer.verticalRule == TangentRule) {
      double scale = static_cast<double>(quad.z) + static_cast<double>(kOne);
      quad.y0 = static_cast<float>(
          (static_cast<double>(kMinusOne) - tangentOfAngle) * scale);
      quad.y1 = static_cast<float>(
          (static_cast<double>(kOne) - tangentOfAngle) * scale);
    } else {
      double scaledHeight = spread * static_cast<double>(height);
      quad.y0 = static_cast<float>(
          scaledHeight * static_cast<double>(layer.minusHeightFactor) -
          static_cast<double>(layer.verticalOffset));
      quad.y1 = static_cast<float>(scaledHeight *
                                       static_cast<double>(layer.heightFactor) -
                                   static_cast<double>(layer.verticalOffset));
    }
    currentStage->host->DrawSurface(surface, source, quad,
                                    currentStage->drawParam);
  }
}

static void __cdecl ReleaseStage() {
  for (const LayerRule &layer : layerRules) {
    if (*layer.slot) currentStage->host->ReleaseSurface(*layer.slot);
  }
}

static void __cdecl AuxStage() {}

extern "C" int32_t __cdecl StageInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

extern "C" int32_t __cdecl CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = DrawStage;
  stage->load = LoadStage;
  stage->release = ReleaseStage;
  stage->aux = AuxStage;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
