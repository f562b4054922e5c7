// stage: the layered background stage. Up to three bitmaps, "back1.bmp" to
// "back3.bmp" from the stage's directory, each drawn every frame at a depth
// that follows from its width: the wider beyond 640, the nearer (smaller z).
//
// Arithmetic: inputs and constants are float32; every step is an IEEE double
// operation; values become float32 only through F. Builds use SSE2 maths so
// that no x87 extended precision leaks into the results.
//
// State: the record last given to CreateStage and the three surfaces.
// Nothing is allocated; draw keeps nothing between frames.
#include <windows.h>

#include "stage_common.h"
#include "stage_plugin.h"

static StageObject *currentStage;
static Surface *backSurface1;
static Surface *backSurface2;
static Surface *backSurface3;

// The float32 constants, each widened to double once; the negative ones
// are their exact negations, so only the positive ones are spelled out.
// clang-format off
//                                                         bits          value
static const double referenceWidth = FloatFromBits(0x44200000);  // 640
static const double one            = FloatFromBits(0x3F800000);  // 1
static const double depthStep      = FloatFromBits(0x3CF5C28F);  // 0.03
static const double two            = FloatFromBits(0x40000000);  // 2
static const double fourThirds     = FloatFromBits(0x3FAAAAAB);  // 4/3
// clang-format on

// The height rule of layers 2 and 3: y0 = F(h * -k - c), y1 = F(h * k - c).
struct HeightRule {
  double k;  // height factor
  double c;  // vertical offset
};

// clang-format off
//                                          k                          c
static const HeightRule layer2Rule = {FloatFromBits(0x3AA3D70B), FloatFromBits(0x3F99999A)};
static const HeightRule layer3Rule = {FloatFromBits(0x3ADA740E), FloatFromBits(0x402CCCCD)};
//                                    0.00125 (one ulp up)       1.2
//                                    1/600                      2.7
// clang-format on

// layerDepth: the base depth that a width other than 640 gives.
static inline double LayerDepth(double width) {
  double d = width - referenceWidth;
  double q = referenceWidth / d;
  return q - one;
}

// Steps 1 to 8 for one present layer. `rule` null is the tangent rule of
// layer 1; `roundBaseDepth` turns the base depth into float32 before the
// depth step (layers 2 and 3). Returns the layer's z: the carried depth.
__attribute__((always_inline)) static inline float DrawLayer(
    Surface *surface, float carriedDepth, bool roundBaseDepth,
    const HeightRule *rule) {
  const float W = surface->width;
  const float H = surface->height;
  const SourceRect source = WholeImage(surface);

  double b;
  if (W == referenceWidth) {  // exactly 640.0
    b = carriedDepth;
  } else {
    b = LayerDepth(W);
    if (roundBaseDepth) b = F(b);
  }
  double zd = b + depthStep;
  StageQuad quad;
  quad.z = F(zd);
  double w = zd + two;
  quad.x0 = F(w * -fourThirds);
  // F(w * 4/3) is exactly -x0; written so, x1 stays the negative of x0
  // even for a NaN width, whose sign a product does not fix.
  quad.x1 = -quad.x0;
  if (!rule) {
    double s = quad.z + one;
    quad.y0 = F((-one - tangentOfAngle) * s);
    quad.y1 = F((one - tangentOfAngle) * s);
  } else {
    double h = w * H;
    quad.y0 = F(h * -rule->k - rule->c);
    quad.y1 = F(h * rule->k - rule->c);
  }
  currentStage->host->DrawSurface(surface, source, quad,
                                  currentStage->drawParam);
  return quad.z;
}

static void STAGE_CDECL LoadStage() {
  const char *directory = currentStage->host->GetPath(2);
  static const char *const files[3] = {"back1.bmp", "back2.bmp", "back3.bmp"};
  Surface **const slots[3] = {&backSurface1, &backSurface2, &backSurface3};
  for (int layer = 0; layer < 3; ++layer) {
    StagePath path;
    *slots[layer] = BuildStagePath(path, directory, files[layer])
                        ? currentStage->host->LoadSurface(path, 0)
                        : nullptr;
  }
}

static void STAGE_CDECL DrawStage() {
  // The carried depth: the z of the layer drawn last in this call. A
  // 640-wide layer with nothing drawn before it starts from 0.
  float carriedDepth = 0.0f;
  if (backSurface1)
    carriedDepth = DrawLayer(backSurface1, carriedDepth, false, nullptr);
  if (backSurface2)
    carriedDepth = DrawLayer(backSurface2, carriedDepth, true, &layer2Rule);
  if (backSurface3) DrawLayer(backSurface3, carriedDepth, true, &layer3Rule);
}

static void STAGE_CDECL ReleaseStage() {
  if (backSurface1) currentStage->host->ReleaseSurface(backSurface1);
  if (backSurface2) currentStage->host->ReleaseSurface(backSurface2);
  if (backSurface3) currentStage->host->ReleaseSurface(backSurface3);
}

static void STAGE_CDECL AuxStage() {}

extern "C" int32_t STAGE_CDECL StageInfo(StageInfoRecord *info) {
  info->infoValue = STAGE_INFO_VALUE;
  return 1;
}

extern "C" int32_t STAGE_CDECL CreateStage(StageObject *stage) {
  currentStage = stage;
  stage->draw = DrawStage;
  stage->load = LoadStage;
  stage->release = ReleaseStage;
  stage->aux = AuxStage;
  return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
