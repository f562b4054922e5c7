// The real stage.dll and tessel.dll, loaded with LoadLibrary into a test host
// whose services record every call. Quads are compared as float32 bit
// patterns: the plug-ins must be bit-exact.
#include <float.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host_text.h"
#include "stage_common.h"
#include "stage_plugin.h"

namespace {

struct QuadBits {
  uint32_t y0, y1, x0, x1, z;
  bool operator==(const QuadBits &o) const {
    return y0 == o.y0 && y1 == o.y1 && x0 == o.x0 && x1 == o.x1 && z == o.z;
  }
};

std::ostream &operator<<(std::ostream &out, const QuadBits &q) {
  char text[96];
  snprintf(text, sizeof text, "{y0 %08X y1 %08X x0 %08X x1 %08X z %08X}", q.y0,
           q.y1, q.x0, q.x1, q.z);
  return out << text;
}

struct DrawCall {
  Surface *surface;
  SourceRect source;
  QuadBits quad;
  int32_t drawParam;
  int host;  // which services table took the call
};

struct HostCall {
  std::string what;  // "GetPath", "LoadSurface", "ReleaseSurface"
  std::string path;
  int32_t number;
  Surface *surface;
  int host;
};

// What the recording host knows; reset for every test.
struct Recorder {
  std::vector<HostCall> calls;
  std::vector<DrawCall> draws;
  std::string directory = "C:\\stages\\mountain";
  Surface *files[3] = {};  // what LoadSurface returns for back1..back3
} recorder;

Surface *FileSurface(const std::string &path) {
  for (int i = 0; i < 3; ++i) {
    std::string name = "\\back" + std::to_string(i + 1) + ".bmp";
    if (path.size() >= name.size() &&
        path.compare(path.size() - name.size(), name.size(), name) == 0)
      return recorder.files[i];
  }
  return nullptr;
}

template <int Host>
const char *STAGE_CDECL RecordGetPath(int32_t kind) {
  recorder.calls.push_back({"GetPath", "", kind, nullptr, Host});
  return recorder.directory.c_str();
}
template <int Host>
Surface *STAGE_CDECL RecordLoadSurface(const char *path, int32_t mode) {
  Surface *surface = FileSurface(path);
  recorder.calls.push_back({"LoadSurface", path, mode, surface, Host});
  return surface;
}
template <int Host>
int32_t STAGE_CDECL RecordReleaseSurface(Surface *surface) {
  recorder.calls.push_back({"ReleaseSurface", "", 0, surface, Host});
  return 0;
}
template <int Host>
int32_t STAGE_CDECL RecordDrawSurface(Surface *surface, SourceRect source,
                                      StageQuad quad, int32_t drawParam) {
  recorder.draws.push_back(
      {surface,
       source,
       {FloatBits(quad.y0), FloatBits(quad.y1), FloatBits(quad.x0),
        FloatBits(quad.x1), FloatBits(quad.z)},
       drawParam,
       Host});
  return 0;
}

template <int Host>
HostServices MakeServices() {
  HostServices services = {};
  services.LoadSurface = RecordLoadSurface<Host>;
  services.ReleaseSurface = RecordReleaseSurface<Host>;
  services.DrawSurface = RecordDrawSurface<Host>;
  services.GetPath = RecordGetPath<Host>;
  return services;
}

Surface MakeSurface(float width, float height) {
  Surface surface;
  memset(&surface, 0xCD, sizeof surface);
  surface.width = width;
  surface.height = height;
  return surface;
}

// Loads a fresh copy of a plug-in for every test, so its globals start at
// zero, and drives it like a host.
struct PluginTest : ::testing::Test {
  HMODULE library = nullptr;
  CreateStageFn createStage = nullptr;
  HostServices services = MakeServices<1>();
  StageObject stage = {};

  void Open(const char *file) {
    recorder = Recorder();
    library = LoadLibraryA(file);
    ASSERT_NE(library, nullptr) << file;
    createStage = reinterpret_cast<CreateStageFn>(
        reinterpret_cast<void *>(GetProcAddress(library, "CreateStage")));
    ASSERT_NE(createStage, nullptr);
    stage.hostReserved = 0x12345678;
    stage.host = &services;
    stage.drawParam = 77;
    ASSERT_EQ(createStage(&stage), 1);
  }
  void TearDown() override {
    if (library) FreeLibrary(library);
  }
  void Layers(Surface *a, Surface *b, Surface *c) {
    recorder.files[0] = a, recorder.files[1] = b, recorder.files[2] = c;
  }
};

struct StagePlugin : PluginTest {
  void SetUp() override { Open("stage.dll"); }
};
struct TesselPlugin : PluginTest {
  void SetUp() override { Open("tessel.dll"); }
};

struct ExpectedDraw {
  Surface *surface;
  int32_t right, bottom;
  QuadBits quad;
};

void ExpectDraws(const std::vector<ExpectedDraw> &expected) {
  ASSERT_EQ(recorder.draws.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const DrawCall &call = recorder.draws[i];
    SCOPED_TRACE("draw call " + std::to_string(i));
    EXPECT_EQ(call.surface, expected[i].surface);
    EXPECT_EQ(call.source.left, 0);
    EXPECT_EQ(call.source.top, 0);
    EXPECT_EQ(call.source.right, expected[i].right);
    EXPECT_EQ(call.source.bottom, expected[i].bottom);
    EXPECT_EQ(call.quad, expected[i].quad);
  }
}

// --- The worked examples --------------------------------------------------

// One row per row of the worked-example tables (and of the edge cases
// given with values), in their column order. A layer that is absent has
// width 0 and no values.
struct WorkedRow {
  const char *example;
  int layer;
  float width, height;
  uint32_t z, x0, x1, y0, y1;
};

// clang-format off
const WorkedRow kWorkedRows[] = {
  // example                layer  W      H     z           x0          x1          y0          y1
  {"1280, 960, 800",        1,     1280,  480,  0x3CF5C28F, 0xC02D3A07, 0x402D3A07, 0xBFF27786, 0x3E29B472},
  {"1280, 960, 800",        2,     960,   480,  0x3F83D70A, 0xC08147AE, 0x408147AE, 0xC04126EA, 0x3F1E3541},
  {"1280, 960, 800",        3,     800,   480,  0x4041EB85, 0xC0D69D04, 0x40D69D04, 0xC0D72B02, 0x3FA978D5},
  {"three 1024 x 768",      1,     1024,  768,  0x3F3258BF, 0xC0661D95, 0x40661D95, 0xC047B3A2, 0x3E8BC5EA},
  {"three 1024 x 768",      2,     1024,  768,  0x3F3258BF, 0xC0661D96, 0x40661D96, 0xC0727BB4, 0x3FB1C434},
  {"three 1024 x 768",      3,     1024,  768,  0x3F3258BF, 0xC0661D96, 0x40661D96, 0xC0C4DB00, 0x3F40719A},
  {"1280, 640, 640",        1,     1280,  480,  0x3CF5C28F, 0xC02D3A07, 0x402D3A07, 0xBFF27786, 0x3E29B472},
  {"1280, 640, 640",        2,     640,   480,  0x3D75C28F, 0xC02FC963, 0x402FC963, 0xC01BE76D, 0x3D1374C7},
  {"1280, 640, 640",        3,     640,   480,  0x3DB851EB, 0xC03258BF, 0x403258BF, 0xC08BE76D, 0xBF839581},
  {"absent, 1920, 640",     1,     0,     0,    0,          0,          0,          0,          0},
  {"absent, 1920, 640",     2,     1920,  480,  0xBEF0A3D7, 0xC0028F5C, 0x40028F5C, 0xC0078D50, 0xBE90624D},
  {"absent, 1920, 640",     3,     640,   480,  0xBEE147AE, 0xC0051EB9, 0x40051EB9, 0xC07CAC09, 0xBFB9DB23},
  // Float32 arithmetic would give x1 0x40D69D03.
  {"only layer 3, 800",     3,     800,   480,  0x4041EB85, 0xC0D69D04, 0x40D69D04, 0xC0D72B02, 0x3FA978D5},
  {"narrow layer 1, 320",   1,     320,   480,  0xC03E147B, 0x3FA58BF3, 0xBFA58BF3, 0x4067DFAA, 0xBEA24A63},
};
// clang-format on

TEST_F(StagePlugin, WorkedExamples) {
  const size_t rowCount = sizeof kWorkedRows / sizeof kWorkedRows[0];
  for (size_t first = 0; first < rowCount;) {
    const char *example = kWorkedRows[first].example;
    SCOPED_TRACE(example);
    Surface surfaces[3];
    std::vector<ExpectedDraw> expected;
    Layers(nullptr, nullptr, nullptr);
    size_t row = first;
    for (; row < rowCount && kWorkedRows[row].example == example; ++row) {
      const WorkedRow &r = kWorkedRows[row];
      if (r.width == 0) continue;  // absent
      Surface &surface = surfaces[r.layer - 1];
      surface = MakeSurface(r.width, r.height);
      recorder.files[r.layer - 1] = &surface;
      expected.push_back({&surface,
                          int32_t(r.width),
                          int32_t(r.height),
                          {r.y0, r.y1, r.x0, r.x1, r.z}});
    }
    first = row;
    recorder.draws.clear();
    stage.load();
    stage.draw();
    ExpectDraws(expected);
  }
}

// --- Choices where the rules leave room -----------------------------------

TEST_F(StagePlugin, ReferenceWidthWithNothingBeforeStartsFromZero) {
  // Base depth 0, as for a 1280-wide first layer.
  Surface wide = MakeSurface(1280, 480), reference = MakeSurface(640, 480);
  Layers(&wide, nullptr, nullptr);
  stage.load();
  stage.draw();
  QuadBits fromWide = recorder.draws.at(0).quad;
  Layers(&reference, nullptr, nullptr);
  stage.load();
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 2u);
  EXPECT_EQ(recorder.draws[1].quad, fromWide);
  EXPECT_EQ(recorder.draws[1].quad.z, 0x3CF5C28Fu);

  // Layer 2 alone at 640 starts from 0 too, and layer 3 carries its depth.
  Surface second = MakeSurface(640, 480);
  Layers(nullptr, &second, &reference);
  stage.load();
  recorder.draws.clear();
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 2u);
  EXPECT_EQ(recorder.draws[0].quad.z, 0x3CF5C28Fu);
  EXPECT_EQ(recorder.draws[1].quad.z, 0x3D75C28Fu);
}

TEST_F(StagePlugin, NothingIsCarriedBetweenFrames) {
  Surface s1 = MakeSurface(1024, 480), s3 = MakeSurface(640, 480);
  Layers(&s1, nullptr, &s3);
  stage.load();
  stage.draw();
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 4u);
  EXPECT_EQ(recorder.draws[0].quad, recorder.draws[2].quad);
  EXPECT_EQ(recorder.draws[1].quad, recorder.draws[3].quad);
}

TEST_F(StagePlugin, SizesBecomeIntegersSafely) {
  struct Case {
    float width, height;
    int32_t right, bottom;
  } cases[] = {
      {1279.5f, 480.9f, 1279, 480},
      {639.9f, 0.5f, 639, 0},
      {-3.75f, -0.5f, -3, 0},
      {NAN, INFINITY, 0, INT32_MAX},
      {-INFINITY, 1e10f, INT32_MIN, INT32_MAX},
      {-1e10f, 2147483520.0f, INT32_MIN, 2147483520},
  };
  for (const Case &c : cases) {
    Surface s = MakeSurface(c.width, c.height);
    Layers(&s, nullptr, nullptr);
    stage.load();
    recorder.draws.clear();
    stage.draw();
    ASSERT_EQ(recorder.draws.size(), 1u);
    EXPECT_EQ(recorder.draws[0].source.right, c.right) << c.width;
    EXPECT_EQ(recorder.draws[0].source.bottom, c.bottom) << c.height;
  }
  // The fraction still enters the depth: 1279.5 is not 1280.
  Surface fraction = MakeSurface(1279.5f, 480), whole = MakeSurface(1280, 480);
  Layers(&fraction, &whole, nullptr);
  stage.load();
  recorder.draws.clear();
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 2u);
  EXPECT_NE(recorder.draws[0].quad.z, 0x3CF5C28Fu);
}

TEST_F(StagePlugin, LayerOneIgnoresHeightOthersUseIt) {
  Surface a = MakeSurface(960, 100), b = MakeSurface(960, 900);
  Layers(&a, &a, &a);
  stage.load();
  stage.draw();
  Layers(&b, &b, &b);
  stage.load();
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 6u);
  EXPECT_EQ(recorder.draws[0].quad, recorder.draws[3].quad);
  for (int layer = 1; layer < 3; ++layer) {
    EXPECT_NE(recorder.draws[layer].quad.y0, recorder.draws[layer + 3].quad.y0);
    EXPECT_EQ(recorder.draws[layer].quad.x1, recorder.draws[layer + 3].quad.x1);
  }
}

TEST_F(StagePlugin, ResultsDoNotDependOnTheX87Precision) {
  Surface s1 = MakeSurface(1280, 480), s2 = MakeSurface(960, 480),
          s3 = MakeSurface(800, 480);
  Layers(&s1, &s2, &s3);
  stage.load();
  stage.draw();
  unsigned previous = _controlfp(0, 0);
  _controlfp(_PC_24, _MCW_PC);  // as some Direct3D hosts leave it
  stage.draw();
  _controlfp(_PC_64, _MCW_PC);
  stage.draw();
  _controlfp(previous, _MCW_PC);
  ASSERT_EQ(recorder.draws.size(), 9u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(recorder.draws[i].quad, recorder.draws[i + 3].quad);
    EXPECT_EQ(recorder.draws[i].quad, recorder.draws[i + 6].quad);
  }
}

// --- Loading, releasing and the host services -----------------------------

TEST_F(StagePlugin, LoadAsksOncePathThenEachFileInOrder) {
  Layers(nullptr, nullptr, nullptr);
  stage.load();
  ASSERT_EQ(recorder.calls.size(), 4u);
  EXPECT_EQ(recorder.calls[0].what, "GetPath");
  EXPECT_EQ(recorder.calls[0].number, 2);
  const char *names[] = {"back1.bmp", "back2.bmp", "back3.bmp"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(recorder.calls[i + 1].what, "LoadSurface");
    EXPECT_EQ(recorder.calls[i + 1].path, recorder.directory + "\\" + names[i]);
    EXPECT_EQ(recorder.calls[i + 1].number, 0);
  }
  stage.draw();
  stage.release();
  EXPECT_TRUE(recorder.draws.empty());
  EXPECT_EQ(recorder.calls.size(), 4u);  // no ReleaseSurface
}

TEST_F(StagePlugin, DirectoryEndingInBackslashIsUsedAsGiven) {
  recorder.directory = "D:\\game\\stage\\";
  stage.load();
  ASSERT_EQ(recorder.calls.size(), 4u);
  EXPECT_EQ(recorder.calls[1].path, "D:\\game\\stage\\\\back1.bmp");
}

TEST_F(StagePlugin, DirectoryTooLongForThePathBufferLeavesLayersAbsent) {
  Surface s = MakeSurface(800, 480);
  Layers(&s, &s, &s);
  recorder.directory = std::string(245, 'd');  // 245 + "\back1.bmp" = 255
  stage.load();
  ASSERT_EQ(recorder.calls.size(), 4u);
  EXPECT_EQ(recorder.calls[3].path.size(), 255u);
  stage.draw();
  EXPECT_EQ(recorder.draws.size(), 3u);

  recorder = Recorder();
  Layers(&s, &s, &s);
  recorder.directory = std::string(246, 'd');
  stage.load();
  ASSERT_EQ(recorder.calls.size(), 1u);  // GetPath only
  stage.draw();
  stage.release();
  EXPECT_TRUE(recorder.draws.empty());
  EXPECT_EQ(recorder.calls.size(), 1u);
}

TEST_F(StagePlugin, ReleaseGivesBackPresentLayersInOrder) {
  Surface s1 = MakeSurface(1280, 480), s3 = MakeSurface(800, 480);
  Layers(&s1, nullptr, &s3);
  stage.load();
  recorder.calls.clear();
  stage.release();
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[0].surface, &s1);
  EXPECT_EQ(recorder.calls[1].surface, &s3);
  EXPECT_EQ(recorder.calls[0].what, "ReleaseSurface");
}

TEST_F(StagePlugin, DrawBeforeLoadDrawsNothingAndAuxDoesNothing) {
  stage.draw();
  stage.aux();
  EXPECT_TRUE(recorder.draws.empty());
  EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(StagePlugin, DrawParamIsReadAfreshEveryFrame) {
  Surface s1 = MakeSurface(1280, 480), s2 = MakeSurface(960, 480);
  Layers(&s1, &s2, nullptr);
  stage.load();
  stage.draw();
  stage.drawParam = -5;
  stage.draw();
  ASSERT_EQ(recorder.draws.size(), 4u);
  EXPECT_EQ(recorder.draws[0].drawParam, 77);
  EXPECT_EQ(recorder.draws[1].drawParam, 77);
  EXPECT_EQ(recorder.draws[2].drawParam, -5);
  EXPECT_EQ(recorder.draws[3].drawParam, -5);
  EXPECT_EQ(recorder.draws[0].quad, recorder.draws[2].quad);
}

TEST_F(StagePlugin, SecondCreateStageRedirectsEveryCallback) {
  Surface s1 = MakeSurface(1280, 480);
  Layers(&s1, nullptr, nullptr);
  stage.load();
  HostServices second = MakeServices<2>();
  StageObject other = {};
  other.host = &second;
  other.drawParam = 9;
  ASSERT_EQ(createStage(&other), 1);
  stage.draw();  // through the first record's field
  stage.release();
  ASSERT_EQ(recorder.draws.size(), 1u);
  EXPECT_EQ(recorder.draws[0].host, 2);
  EXPECT_EQ(recorder.draws[0].drawParam, 9);
  EXPECT_EQ(recorder.draws[0].surface, &s1);
  ASSERT_FALSE(recorder.calls.empty());
  EXPECT_EQ(recorder.calls.back().what, "ReleaseSurface");
  EXPECT_EQ(recorder.calls.back().host, 2);
}

// --- The exact bytes the exports touch ------------------------------------

void ExpectCreateStageTouchesOnlyCallbacks(CreateStageFn createStage) {
  unsigned char block[64];
  memset(block, 0xA5, sizeof block);
  StageObject *record = reinterpret_cast<StageObject *>(block);
  ASSERT_EQ(createStage(record), 1);
  for (size_t i = 0; i < sizeof block; ++i) {
    bool callbackField = i >= 4 && i < 20;
    if (!callbackField) {
      EXPECT_EQ(block[i], 0xA5) << "byte " << i;
    }
  }
  EXPECT_NE(reinterpret_cast<void *>(record->draw), nullptr);
  EXPECT_NE(reinterpret_cast<void *>(record->load), nullptr);
  EXPECT_NE(reinterpret_cast<void *>(record->release), nullptr);
  EXPECT_NE(reinterpret_cast<void *>(record->aux), nullptr);
}

void ExpectInfoTouchesOnlyInfoValue(HMODULE library, const char *name) {
  auto info = reinterpret_cast<StageInfoFn>(
      reinterpret_cast<void *>(GetProcAddress(library, name)));
  ASSERT_NE(info, nullptr) << name;
  unsigned char block[160];
  memset(block, 0x3C, sizeof block);
  EXPECT_EQ(info(reinterpret_cast<StageInfoRecord *>(block)), 1);
  for (size_t i = 0; i < sizeof block; ++i) {
    if (i < 96 || i >= 100) {
      EXPECT_EQ(block[i], 0x3C) << "byte " << i;
    }
  }
  int32_t value;
  memcpy(&value, block + 96, 4);
  EXPECT_EQ(value, 500);
}

TEST_F(StagePlugin, ExportsTouchOnlyTheirFields) {
  ExpectCreateStageTouchesOnlyCallbacks(createStage);
  ExpectInfoTouchesOnlyInfoValue(library, "StageInfo");
}

TEST_F(TesselPlugin, ExportsTouchOnlyTheirFields) {
  ExpectCreateStageTouchesOnlyCallbacks(createStage);
  ExpectInfoTouchesOnlyInfoValue(library, "CharacterInfo");
}

TEST_F(StagePlugin, OrdinalsMatchNames) {
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)),
            GetProcAddress(library, "CreateStage"));
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(2)),
            GetProcAddress(library, "StageInfo"));
  EXPECT_EQ(GetProcAddress(library, "CharacterInfo"), nullptr);
}

TEST_F(TesselPlugin, OrdinalsMatchNames) {
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)),
            GetProcAddress(library, "CharacterInfo"));
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(2)),
            GetProcAddress(library, "CreateStage"));
  EXPECT_EQ(GetProcAddress(library, "StageInfo"), nullptr);
}

// --- tessel ----------------------------------------------------------------

const QuadBits kTesselQuad = {0xBFF27786, 0x3E29B471, 0xC02D3A07, 0x402D3A07,
                              0x3CF5C28F};

TEST_F(TesselPlugin, DrawsItsFixedQuadForAnySize) {
  Surface a = MakeSurface(640, 480), b = MakeSurface(1023.7f, 99.2f);
  Layers(&a, nullptr, nullptr);
  stage.load();
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[0].what, "GetPath");
  EXPECT_EQ(recorder.calls[0].number, 2);
  EXPECT_EQ(recorder.calls[1].path, recorder.directory + "\\back1.bmp");
  EXPECT_EQ(recorder.calls[1].number, 0);
  stage.draw();
  Layers(&b, nullptr, nullptr);
  stage.load();
  stage.draw();
  ExpectDraws({{&a, 640, 480, kTesselQuad}, {&b, 1023, 99, kTesselQuad}});
  EXPECT_EQ(recorder.draws[0].drawParam, 77);
}

TEST_F(TesselPlugin, AbsentBitmapDrawsAndReleasesNothing) {
  stage.draw();  // before load
  stage.load();
  stage.draw();
  stage.release();
  stage.aux();
  EXPECT_TRUE(recorder.draws.empty());
  EXPECT_EQ(recorder.calls.size(), 2u);  // GetPath, LoadSurface
}

TEST_F(TesselPlugin, ReleaseAndDrawParam) {
  Surface a = MakeSurface(640, 480);
  Layers(&a, nullptr, nullptr);
  stage.load();
  stage.draw();
  stage.drawParam = 1234;
  stage.draw();
  stage.release();
  ASSERT_EQ(recorder.draws.size(), 2u);
  EXPECT_EQ(recorder.draws[1].drawParam, 1234);
  EXPECT_EQ(recorder.calls.back().what, "ReleaseSurface");
  EXPECT_EQ(recorder.calls.back().surface, &a);
}

TEST_F(TesselPlugin, DirectoryTooLongLeavesTheLayerAbsent) {
  Surface a = MakeSurface(640, 480);
  Layers(&a, nullptr, nullptr);
  recorder.directory = std::string(246, 'x');
  stage.load();
  stage.draw();
  EXPECT_EQ(recorder.calls.size(), 1u);
  EXPECT_TRUE(recorder.draws.empty());
}

// --- The tangent constant ---------------------------------------------------

// The angle and its tangent as the description gives them: the double
// 0x3FE657184482875E, and t = 0.8390996108835616, the double
// 0x3FEAD9E76D5A9960. The angle is worked out at run time, as the C
// runtime's tan() then is.
TEST(StageConstants, TangentIsTheTangentOfTheAngle) {
  volatile double pi = 3.1415926;
  double angle = 40 * pi / 180;
  uint64_t bits;
  memcpy(&bits, &angle, sizeof bits);
  EXPECT_EQ(bits, 0x3FE657184482875EULL);
  memcpy(&bits, &tangentOfAngle, sizeof bits);
  EXPECT_EQ(bits, 0x3FEAD9E76D5A9960ULL);
  EXPECT_EQ(tan(angle), tangentOfAngle);
}

}  // namespace
