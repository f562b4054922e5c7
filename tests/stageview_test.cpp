// The reference host with the real plug-ins and the sample stages, in this
// process: colours where the layers should be, a missing layer uncovering
// the ones behind, parallax across a pan, the trace, the host's contract
// checks, and the command line's exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "bitmap_file.h"
#include "debugger_capture.h"
#include "exit_codes.h"
#include "live_window.h"
#include "pan_strip.h"
#include "real_input.h"
#include "stage_host.h"
#include "stageview_main.h"
#include "test_files.h"
#include "test_pace.h"
#include "version.h"

namespace {

const uint32_t kEarth = 0x785028;       // near layer, below the grass
const uint32_t kMountain = 0x466E5A;    // middle layer
const uint32_t kRedPost = 0xFF0000;     // near layer, centre of its image
const uint32_t kYellowPost = 0xFFFF00;  // middle layer, centre of its image

std::vector<std::string> traced;
void Collect(const std::string &line) { traced.push_back(line); }

struct Columns {
  int count = 0;
  double mean = 0;
};

Columns Find(const Frame &frame, uint32_t colour) {
  Columns c;
  double sum = 0;
  for (int row = 0; row < kFrameHeight; ++row)
    for (int col = 0; col < kFrameWidth; ++col)
      if (frame.pixels[row][col] == colour) ++c.count, sum += col;
  if (c.count) c.mean = sum / c.count;
  return c;
}

struct Stageview : ::testing::Test {
  std::unique_ptr<Frame> frame{new Frame};
  void SetUp() override {
    traced.clear();
    TraceHostCalls(Collect);
  }
  void TearDown() override { TraceHostCalls(nullptr); }
  void Open(const char *plugin, const std::string &folder) {
    std::string error;
    ASSERT_EQ(OpenStage(plugin, folder.c_str(), error), 0) << error;
  }
};

// The guide's frame raised by 200 rows: at zoom 1 the layered sample's
// ground lies mostly below row 480 (rows 463 to 655), here at 263 to 455.
View RaisedView(double x) {
  View view = PlainView(x);
  view.horizonRow = 40;
  return view;
}

TEST_F(Stageview, LayeredStageShowsEachLayerWhereItBelongs) {
  Open("stage.dll", "samples\\layered");
  EXPECT_EQ(StageInfoValue(), 500);
  RenderFrame(PlainView(0), *frame);
  // Above the far layer's top edge (row 209) nothing is drawn; just below
  // it, the sky (back1, the farthest layer).
  EXPECT_EQ(frame->pixels[100][320], kBackground);
  uint32_t sky = frame->pixels[214][100];
  EXPECT_GT(sky & 0xFF, 120u);
  EXPECT_LT(sky >> 16, 80u);
  RenderFrame(RaisedView(0), *frame);
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
  // The mountains (back2, rows 15 to 255) and in front of them the near
  // ground (back3), its earth near its bottom.
  EXPECT_EQ(frame->pixels[200][100], kMountain);
  EXPECT_EQ(frame->pixels[440][100], kEarth);
  // Each layer's centre post sits on the view axis.
  Columns red = Find(*frame, kRedPost), yellow = Find(*frame, kYellowPost);
  ASSERT_GT(red.count, 0);
  ASSERT_GT(yellow.count, 0);
  EXPECT_NEAR(red.mean, 320, 2);
  EXPECT_NEAR(yellow.mean, 320, 2);
}

TEST_F(Stageview, MissingNearLayerUncoversTheLayersBehind) {
  TempFolder stage;
  for (const char *name : {"back1.bmp", "back2.bmp"})
    CopyFileA((std::string("samples\\layered\\") + name).c_str(),
              stage.Join(name).c_str(), FALSE);
  Open("stage.dll", stage.path);
  RenderFrame(RaisedView(0), *frame);
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
  // Where the ground's earth was, the sky's far hills.
  EXPECT_EQ(frame->pixels[380][100], 0x5A508Cu);
  EXPECT_EQ(Find(*frame, kRedPost).count, 0);
  EXPECT_GT(Find(*frame, kYellowPost).count, 0);
  int nullLoads = 0;
  for (const std::string &line : traced)
    nullLoads += line.find("back3.bmp\", 0) -> null") != std::string::npos;
  EXPECT_EQ(nullLoads, 1);
}

// A quad just in front of the eye reaches billions of pixels beyond the
// frame; it is clipped before it becomes integers and covers the frame.
TEST_F(Stageview, QuadJustInFrontOfTheEyeCoversTheFrame) {
  Open("faulty_plugin_3.dll", "samples\\single");
  RenderFrame(PlainView(0), *frame);
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
  int background = 0;
  for (auto &row : frame->pixels)
    for (uint32_t p : row) background += p == kBackground;
  EXPECT_EQ(background, 0);
}

TEST_F(Stageview, PanMovesNearerLayersFarther) {
  Open("stage.dll", "samples\\layered");
  std::unique_ptr<Frame> right(new Frame);
  RenderFrame(RaisedView(-0.5), *frame);
  RenderFrame(RaisedView(0.5), *right);
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
  double nearShift = Find(*frame, kRedPost).mean - Find(*right, kRedPost).mean;
  double farShift =
      Find(*frame, kYellowPost).mean - Find(*right, kYellowPost).mean;
  // One view unit moves a quad at depth z by 240 / (z + 2) columns.
  EXPECT_NEAR(nearShift, 240 / 2.03, 2);
  EXPECT_NEAR(farShift, 240 / 3.03, 2);
  EXPECT_GT(nearShift, farShift);
}

TEST_F(Stageview, TraceListsEveryCallWithFloatBits) {
  Open("tessel.dll", "samples\\single\\");
  RenderFrame(PlainView(0), *frame);
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
  const std::vector<std::string> expected = {
      "CharacterInfo(info) -> 1, infoValue 500",
      "CreateStage(stage) -> 1",
      "load()",
      "  GetPath(2) -> \"samples\\single\"",
      "  LoadSurface(\"samples\\single\\back1.bmp\", 0) -> back1.bmp "
      "(1280 x 480, 24-bit)",
      "draw()",
      "  DrawSurface(back1.bmp, {0, 0, 1280, 480}, {y0 -1.89427257 "
      "0xBFF27786, y1 0.165727392 0x3E29B471, x0 -2.70666671 0xC02D3A07, x1 "
      "2.70666671 0x402D3A07, z 0.0299999993 0x3CF5C28F}, 0)",
      "release()",
      "  ReleaseSurface(back1.bmp)",
  };
  EXPECT_EQ(traced, expected);
  // The wall fills the quad's bottom rows; the sky band its top.
  EXPECT_NE(frame->pixels[400][320], kBackground);
}

TEST_F(Stageview, HostReportsSurfacesReleasedTwiceOrNever) {
  HostServices *host = StageHostServices();
  Surface *kept = host->LoadSurface("samples\\layered\\back1.bmp", 0);
  Surface *twice = host->LoadSurface("samples\\layered\\back2.bmp", 0);
  Surface *eight = twice;
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(eight->width, 960.0f);  // 8-bit file
  EXPECT_EQ(eight->height, 400.0f);
  EXPECT_EQ(kept->width, 800.0f);  // 24-bit file
  EXPECT_EQ(host->LoadSurface("samples\\layered\\nothing.bmp", 0), nullptr);
  host->ReleaseSurface(twice);
  host->ReleaseSurface(twice);
  std::vector<std::string> problems = CloseStage();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("released twice"), std::string::npos);
  EXPECT_NE(problems[1].find("back1.bmp) never released"), std::string::npos);
}

int RunStageview(std::vector<std::string> args, std::string *errors = nullptr) {
  args.insert(args.begin(), "stageview");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  FILE *sink = tmpfile();
  SendStageviewErrorsTo(sink);
  SendHostWarningsTo(sink);
  int code = StageviewMain(int(argv.size()), argv.data());
  SendStageviewErrorsTo(stderr);
  SendHostWarningsTo(stderr);
  if (errors) {
    rewind(sink);
    char text[4096] = "";
    size_t n = fread(text, 1, sizeof text - 1, sink);
    *errors = std::string(text, n);
  }
  fclose(sink);
  return code;
}

// The arguments of a case, as one line for its failures.
std::string Joined(const std::vector<std::string> &args) {
  std::string line;
  for (const std::string &a : args)
    line += (line.empty() ? "\"" : " \"") + a + "\"";
  return line;
}

TEST(StageviewCommandLine, ErrorsExitNonZeroWithAMessage) {
  const std::string layered = "samples\\layered";
  const char *pan = "--pan wants a whole number from 2 to 16";
  const char *camera = "--camera wants a number";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char *message;  // a part of what stageview says
  } cases[] = {
      // clang-format off
      {{"nothing.dll", layered},        kExitCannotLoadPlugin, "cannot load the plug-in nothing.dll"},
      {{"kernel32.dll", layered},       kExitNotAStagePlugin,  "exports no CreateStage"},
      {{"stage.dll", "samples\\nowhere"}, kExitNoStageFolder,    "no stage folder"},
      {{"stage.dll"},                   kExitBadArguments,     "a plug-in and a stage folder are needed"},
      {{"stage.dll", layered, "--bogus"}, kExitBadArguments,   "unknown option --bogus"},
      // Numbers whole or not at all.
      {{"stage.dll", layered, "--camera", "nan"},   kExitBadArguments, camera},
      {{"stage.dll", layered, "--camera", "inf"},   kExitBadArguments, camera},
      {{"stage.dll", layered, "--camera", "1e300"}, kExitBadArguments, camera},
      {{"stage.dll", layered, "--camera", "0.5x"},  kExitBadArguments, camera},
      {{"stage.dll", layered, "--camera", ""},      kExitBadArguments, camera},
      {{"stage.dll", layered, "--camera"},          kExitBadArguments, camera},
      {{"stage.dll", layered, "--pan", "1"},        kExitBadArguments, pan},
      {{"stage.dll", layered, "--pan", "3x"},       kExitBadArguments, pan},
      {{"stage.dll", layered, "--pan", "2.5"},      kExitBadArguments, pan},
      {{"stage.dll", layered, "--pan", "17"},       kExitBadArguments, pan},
      // clang-format on
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Joined(c.args));
    std::string errors;
    EXPECT_EQ(RunStageview(c.args, &errors), c.exitCode);
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
  }
}

// --version prints the project's one version number on stdout, taken here
// through a temporary file in place of this process's stdout.
TEST(StageviewCommandLine, VersionIsTheProjectsVersion) {
  fflush(stdout);
  FILE *sink = tmpfile();
  ASSERT_NE(sink, nullptr);
  int saved = _dup(_fileno(stdout));
  _dup2(_fileno(sink), _fileno(stdout));
  int code = RunStageview({"--version"});
  fflush(stdout);
  _dup2(saved, _fileno(stdout));
  _close(saved);
  rewind(sink);
  char text[64] = "";
  size_t n = fread(text, 1, sizeof text - 1, sink);
  fclose(sink);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(std::string(text, n), "stageview " PROJECT_VERSION_TEXT "\n");
}

// What an author would otherwise not see: an empty folder draws nothing,
// a folder too long for the plug-ins' path buffer loads nothing.
TEST(StageviewCommandLine, WarnsOfAnEmptyFrameAndATooLongFolder) {
  TempFolder empty, out;
  std::string errors;
  std::string image = out.Join("x.bmp");
  EXPECT_EQ(RunStageview({"stage.dll", empty.path, "--out", image}, &errors),
            0);
  EXPECT_NE(errors.find("drew nothing"), std::string::npos) << errors;
  std::string deep = empty.path;
  while (deep.size() < 247) {  // 247 + "\\back1.bmp" + NUL > 256 < MAX_PATH
    deep += deep.size() < 220 ? "\\abcdefghijklmnopqrstuvwxyz" : "\\d";
    CreateDirectoryA(deep.c_str(), nullptr);
  }
  EXPECT_EQ(RunStageview({"stage.dll", deep, "--out", image}, &errors), 0);
  EXPECT_NE(errors.find("256-byte"), std::string::npos) << errors;
  EXPECT_EQ(
      RunStageview({"stage.dll", "samples\\layered", "--out", image}, &errors),
      0);
  EXPECT_EQ(errors.find("warning"), std::string::npos) << errors;
  // A 320-wide layer lands behind the eye (z = -2.97); the missing layers
  // are named.
  TempFolder narrow;
  Bytes bmp = ReadBytes("samples\\single\\back1.bmp");
  int32_t width = 320;  // keeps the rows' bytes, claims a narrower image
  memcpy(&bmp[18], &width, 4);
  WriteBytes(narrow.Join("back1.bmp"), bmp);
  EXPECT_EQ(RunStageview({"stage.dll", narrow.path, "--out", image}, &errors),
            0);
  EXPECT_NE(errors.find("back1.bmp lies at or behind the eye (z = -2.97"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("back2.bmp: missing"), std::string::npos) << errors;
}

long RunStageviewProgram(const std::string &arguments) {
  return RunProgram("stageview.exe " + arguments);
}

// A plug-in that crashes in draw ends the host at once with its own exit
// code: a child process, as the crash would end this one (a start costs up
// to a minute where 32-bit code is emulated). One whose CreateStage
// returns 0 with null callbacks is a contract breach, found before any
// call: in this process, as is the plain run it is measured against.
TEST(StageviewCommandLine, FaultyPluginsGetTheirOwnExitCodes) {
  TempFolder out;
  const std::string image = out.Join("x.bmp");
  EXPECT_EQ(RunStageviewProgram(
                "faulty_plugin_1.dll samples\\layered --out \"" + image + "\""),
            kExitPluginCrashed);
  std::string errors;
  EXPECT_EQ(
      RunStageview({"faulty_plugin_2.dll", "samples\\layered", "--out", image},
                   &errors),
      kExitBrokeContract);
  EXPECT_NE(errors.find("broke the host contract"), std::string::npos)
      << errors;
  EXPECT_EQ(RunStageview({"stage.dll", "samples\\layered", "--out", image}),
            kExitDone);
}

// Only real separators go; "ソ", whose code page 932 bytes end in the
// byte of a backslash, is one character and stays.
TEST(StageviewHost, TrailingSeparatorsAreStripped) {
  struct Case {
    const wchar_t *given, *expected;
  } cases[] = {{L"stages\\\u30BD", L"stages\\\u30BD"},
               {L"stages\\\u30BD\\", L"stages\\\u30BD"},
               {L"stages\\night//", L"stages\\night"},
               {L"\\", L"\\"},
               {L"C:\\", L"C:"}};
  for (const Case &c : cases) {
    std::wstring folder = c.given;
    StripTrailingSeparators(folder);
    EXPECT_EQ(folder, c.expected) << c.given;
  }
}

TEST(StageviewCommandLine, WritesTheFrameOrTheStripAsBmp) {
  TempFolder out;
  std::string one = out.Join("one.bmp"), strip = out.Join("strip.bmp");
  EXPECT_EQ(RunStageview({"stage.dll", "samples\\layered", "--out", one}), 0);
  EXPECT_EQ(RunStageview({"tessel.dll", "samples\\single", "--pan", "3",
                          "--out", strip}),
            0);
  for (auto [path, width] : {std::pair<std::string, int>{one, 640},
                             std::pair<std::string, int>{strip, 1920}}) {
    Bytes bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 54u) << path;
    BITMAPINFOHEADER info;
    memcpy(&info, bytes.data() + 14, sizeof info);
    EXPECT_EQ(info.biWidth, width);
    EXPECT_EQ(info.biHeight, 480);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(bytes.size(), 54u + size_t(width) * 3 * 480);
  }
  EXPECT_FALSE(Exists(one + ".part")) << "the temporary name is gone";
}

TEST(StageviewCommandLine, PngByItsNameAndNoOtherKind) {
  TempFolder out;
  std::string png = out.Join("strip.PNG"), errors;
  ASSERT_EQ(RunStageview(
                {"stage.dll", "samples\\layered", "--pan", "2", "--out", png}),
            0);
  Bytes bytes = ReadBytes(png);
  ASSERT_GT(bytes.size(), 24u);
  const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  EXPECT_EQ(memcmp(bytes.data(), signature, 8), 0);
  // IHDR: width and height, big-endian.
  EXPECT_EQ(bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19],
            1280);
  EXPECT_EQ(bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23],
            480);
  EXPECT_EQ(RunStageview(
                {"stage.dll", "samples\\layered", "--out", out.Join("x.jpg")},
                &errors),
            1);
  EXPECT_NE(errors.find(".bmp or .png"), std::string::npos) << errors;
  EXPECT_FALSE(Exists(out.Join("x.jpg")));
}

TEST(StageviewCommandLine, WindowMovesWithPlayerOnesKeysFromTheKeyFile) {
  TempFolder game;
  CurrentFolder current(game.path);
  CameraKeys keys;
  ReadCameraKeys(&keys);  // no file
  EXPECT_EQ(keys.up, VK_UP);
  EXPECT_EQ(keys.right, VK_RIGHT);
  MakeFolder(game.Join("system"));
  std::vector<int> record(24, 7);
  record[0] = 'W', record[2] = 'S', record[4] = 'A', record[6] = 'D';
  WriteBytes(game.Join("system\\config.dat"), Int32Bytes(record));
  ReadCameraKeys(&keys);
  EXPECT_EQ(keys.up, 'W');
  EXPECT_EQ(keys.down, 'S');
  EXPECT_EQ(keys.left, 'A');
  EXPECT_EQ(keys.right, 'D');
  WriteBytes(game.Join("system\\config.dat"), PatternBytes(95, 1));
  ReadCameraKeys(&keys);  // short: the defaults
  EXPECT_EQ(keys.down, VK_DOWN);
  EXPECT_EQ(keys.left, VK_LEFT);
}

// An image stageview wrote, read back as pixels.
BitmapPixels ReadImage(const std::string &path) {
  BitmapPixels image;
  std::string why;
  EXPECT_TRUE(ReadBitmapFile(path.c_str(), image, why)) << path << ": " << why;
  return image;
}

int CountColour(const BitmapPixels &image, uint32_t colour) {
  return int(std::count(image.pixels.begin(), image.pixels.end(), colour));
}

double MeanRow(const BitmapPixels &image, uint32_t colour) {
  double sum = 0;
  int count = 0;
  for (size_t i = 0; i < image.pixels.size(); ++i)
    if (image.pixels[i] == colour) sum += double(i / image.width), ++count;
  EXPECT_GT(count, 0);
  return count ? sum / count : 0;
}

// Under the default framing the sample stages fill the frame, top to
// bottom and side to side; the eye height moves the picture (parallax).
TEST(StageviewCommandLine, DefaultFramingFillsTheFrame) {
  TempFolder out;
  std::string image = out.Join("x.bmp");
  for (auto [plugin, folder] :
       {std::pair<const char *, const char *>{"stage.dll", "samples\\layered"},
        {"stage.dll", "samples\\classic"},
        {"stage.dll", "samples\\single"},
        {"tessel.dll", "samples\\single"}}) {
    ASSERT_EQ(RunStageview({plugin, folder, "--out", image}), 0) << folder;
    BitmapPixels frame = ReadImage(image);
    EXPECT_EQ(CountColour(frame, kBackground), 0) << plugin << " " << folder;
  }
  // Moving the eye moves nearer layers farther than farther ones
  // (parallax), seen in one fixed frame: the default framing follows the
  // eye. This one is the default framing of the eye at 0.
  auto postsApart = [&](const char *eye) {
    EXPECT_EQ(
        RunStageview({"stage.dll", "samples\\layered", "--camera-y", eye,
                      "--zoom", "1.076", "--horizon", "33.3", "--out", image}),
        0);
    BitmapPixels frame = ReadImage(image);
    return MeanRow(frame, kRedPost) - MeanRow(frame, kYellowPost);
  };
  EXPECT_GT(std::abs(postsApart("0.3") - postsApart("0")), 5);
  std::string errors;
  EXPECT_EQ(RunStageview({"stage.dll", "samples\\layered", "--camera-y", "nan"},
                         &errors),
            1);
  EXPECT_NE(errors.find("--camera-y wants a number"), std::string::npos);
}

// A 1280-wide layer seen at zoom 1 is halved: every frame column takes the
// same one of each pair of source columns, so 1-pixel lines on every other
// column either all survive, anywhere in the frame, or all vanish; at
// camera 0, where pixel centres fall on source pixel edges, the right-hand
// ones (odd columns) are taken.
TEST_F(Stageview, OnePixelLinesSurviveAHalvingAnywhereInTheFrame) {
  const uint32_t kLine = 0xFFFFFF, kGround = 0x000000;
  const int width = 1280, height = 480, stride = width * 3;
  Bytes bmp(54 + size_t(stride) * height);
  BITMAPFILEHEADER file = {0x4D42, DWORD(bmp.size()), 0, 0, 54};
  BITMAPINFOHEADER info = {40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  memcpy(&bmp[0], &file, 14);
  memcpy(&bmp[14], &info, 40);
  for (int row = 0; row < height; ++row)
    for (int col = 1; col < width; col += 2)  // lines on the odd columns
      memset(&bmp[54 + size_t(row) * stride + col * 3], 0xFF, 3);
  TempFolder stage;
  WriteBytes(stage.Join("back1.bmp"), bmp);
  Open("stage.dll", stage.path);
  for (double camera : {0.0, 0.25, -0.4, 0.01}) {
    RenderFrame(PlainView(camera), *frame);
    int lines = 0, gaps = 0;
    for (uint32_t p : frame->pixels[300]) {
      lines += p == kLine;
      gaps += p == kGround;
    }
    EXPECT_GT(lines + gaps, 500) << camera;
    EXPECT_TRUE(lines == 0 || gaps == 0)
        << camera << ": " << lines << " lines, " << gaps << " gaps";
    if (camera == 0) {
      EXPECT_EQ(gaps, 0);
    }
  }
  EXPECT_EQ(CloseStage(), std::vector<std::string>{});
}

// Each frame of a pan strip carries a mark of its camera position, from
// the left end of the track (the range's low end) to its right end.
TEST(StageviewCommandLine, PanStripMarksEachFramesCameraPosition) {
  TempFolder out;
  std::string strip = out.Join("strip.bmp");
  ASSERT_EQ(RunStageview({"stage.dll", "samples\\layered", "--pan", "3",
                          "--out", strip}),
            0);
  BitmapPixels image = ReadImage(strip);
  ASSERT_EQ(image.width, 3 * kFrameWidth);
  const double expected[3] = {16, 248, 480};
  for (int frameIndex = 0; frameIndex < 3; ++frameIndex) {
    int count = 0;
    double sum = 0;
    for (int row = kFrameHeight - 18; row < kFrameHeight; ++row)
      for (int col = 0; col < kFrameWidth; ++col)
        if (image.pixels[size_t(row) * image.width + frameIndex * kFrameWidth +
                         col] == kPanMarkColour)
          ++count, sum += col;
    ASSERT_GT(count, 0) << frameIndex;
    EXPECT_NEAR(sum / count, expected[frameIndex], 0.5) << frameIndex;
  }
}

// On a full disk the write fails with its own exit code and leaves no
// image: the temporary file there is the full device.
TEST(StageviewCommandLine, FailedWriteLeavesNoImage) {
  const char *full = getenv("STAGEVIEW_FULL_FOLDER");
  ASSERT_TRUE(full) << "the test fixture sets STAGEVIEW_FULL_FOLDER";
  for (const char *name : {"\\image.bmp", "\\image.png"}) {
    std::string image = std::string(full) + name, errors;
    EXPECT_EQ(RunStageview({"stage.dll", "samples\\layered", "--out", image},
                           &errors),
              6);
    EXPECT_NE(errors.find("cannot write"), std::string::npos) << errors;
    EXPECT_FALSE(Exists(image));
  }
}

// The bad inputs authors meet, through the program's own code: each ends
// with the exit code of its kind and a message that names the cause.
TEST(StageviewCommandLine, BadInputsSayWhatToDo) {
  TempFolder out;
  const std::string layered = "samples\\layered", image = out.Join("x.bmp");
  WriteBytes(out.Join("file"), PatternBytes(10, 0));
  char here[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, here);
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;  // a part of what stageview says
  } cases[] = {
      // clang-format off
      {{"broken\\sixty_four_bit.dll", layered}, kExitCannotLoadPlugin,
       "cannot load the plug-in broken\\sixty_four_bit.dll: it is a 64-bit x86-64 DLL; stage plug-ins are 32-bit x86 DLLs"},
      {{"samples\\none.dll", layered}, kExitCannotLoadPlugin,
       "cannot load the plug-in samples\\none.dll: not found (" + std::string(here) + "\\samples\\none.dll)"},
      {{"none.dll", layered}, kExitCannotLoadPlugin,
       "cannot load the plug-in none.dll: not found in the current folder"},
      {{"faulty_plugin_5.dll", layered}, kExitCannotLoadPlugin,
       "faulty_plugin_5.dll: it needs absent_helper.dll, which is not in the folder of"},
      {{layered + "\\back1.bmp", layered}, kExitCannotLoadPlugin,
       "back1.bmp: not a Windows DLL: it does not start with \"MZ\""},
      {{"stage.dll", "samples\\nowhere"}, kExitNoStageFolder,
       "no stage folder samples\\nowhere: not found"},
      {{"stage.dll", out.Join("file")}, kExitNoStageFolder, "is a file, not a folder"},
      // clang-format on
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Joined(c.args));
    std::string errors;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out", image});
    EXPECT_EQ(RunStageview(args, &errors), c.exitCode);
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "one line: " << errors;
  }
}

// A 32-bit BMP whose fourth bytes are the given alpha values, one a pixel.
Bytes AlphaBmp(const std::vector<uint8_t> &alpha) {
  const int width = int(alpha.size());
  Bytes bmp(54 + size_t(width) * 4, 0x40);
  BITMAPFILEHEADER file = {0x4D42, DWORD(bmp.size()), 0, 0, 54};
  BITMAPINFOHEADER info = {40, width, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  memcpy(&bmp[0], &file, 14);
  memcpy(&bmp[14], &info, 40);
  for (int i = 0; i < width; ++i) bmp[54 + size_t(i) * 4 + 3] = alpha[i];
  return bmp;
}

// Bitmaps that load but not as the author meant, or not at all: each
// warning names the file and what to do; the run still ends with 0.
TEST(StageviewCommandLine, BitmapsOfTheWrongKindAreNamed) {
  TempFolder stage, out;
  const Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I'};
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
  const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  WriteBytes(stage.Join("back1.bmp"), png);
  WriteBytes(stage.Join("back2.bmp"), jpeg);
  WriteBytes(stage.Join("back3.bmp"), gif);
  std::string errors;
  EXPECT_EQ(RunStageview({"stage.dll", stage.path, "--out", out.Join("x.bmp")},
                         &errors),
            kExitDone);
  for (const char *said :
       {"back1.bmp: a PNG image, not a BMP file: save it as BMP",
        "back2.bmp: a JPEG image, not a BMP file: save it as BMP",
        "back3.bmp: a GIF image, not a BMP file: save it as BMP"})
    EXPECT_NE(errors.find(said), std::string::npos) << said << "\n" << errors;
  // Alpha in use: half the pixels see-through. All 0 (the usual unused
  // byte) or all opaque draw as meant: no warning.
  WriteBytes(stage.Join("back1.bmp"), AlphaBmp({255, 0, 128, 255}));
  WriteBytes(stage.Join("back2.bmp"), AlphaBmp({0, 0, 0, 0}));
  WriteBytes(stage.Join("back3.bmp"), AlphaBmp({255, 255, 255, 255}));
  EXPECT_EQ(RunStageview({"stage.dll", stage.path, "--out", out.Join("x.bmp")},
                         &errors),
            kExitDone);
  EXPECT_NE(errors.find("back1.bmp: 32-bit with an alpha channel (2 of 4 "
                        "pixels not opaque); stageview draws it opaque"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("back2.bmp: 32-bit with an alpha"), std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("back3.bmp: 32-bit with an alpha"), std::string::npos)
      << errors;
}

// A folder deeper than MAX_PATH exists: stageview says it is too long for
// the plug-ins (their 256-byte path buffer), never that it is missing.
TEST(StageviewCommandLine, AFolderPastMaxPathIsTooLongNotMissing) {
  TempFolder root, out;
  std::wstring deep =
      L"\\\\?\\" + std::wstring(root.path.begin(), root.path.end());
  while (deep.size() < 4 + 300) {
    deep += L"\\abcdefghijklmnopqrstuvwxyz0123456789";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
  }
  std::string folder(deep.begin() + 4, deep.end()), errors;
  EXPECT_EQ(
      RunStageview({"stage.dll", folder, "--out", out.Join("x.bmp")}, &errors),
      kExitDone);
  EXPECT_NE(errors.find("the stage folder's path is too long for the plug-ins"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("no stage folder"), std::string::npos) << errors;
  // TempFolder removes through the plain calls, which stop at MAX_PATH.
  while (deep.size() > 4 + root.path.size()) {
    RemoveDirectoryW(deep.c_str());
    deep.resize(deep.rfind(L'\\'));
  }
}

// UTF-8 as UTF-16, for the wide calls of these tests.
std::wstring Wide(const std::string &utf8) {
  std::wstring wide(utf8.size() + 1, L'\0');
  wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0],
                                         int(wide.size())) -
                     1));
  return wide;
}

// A stage folder and a plug-in named in Japanese, under this run's code
// page (932, and once more in a prefix of code page 1252): the plug-in
// loads, and the folder it gets from GetPath, passed back to LoadSurface
// with "\back1.bmp", opens every bitmap.
struct JapaneseStage {
  TempFolder root;
  std::string folder = root.Join(
      "\xE3\x82\xB9\xE3\x83\x86\xE3\x83\xBC\xE3"
      "\x82\xB8");  // ステージ
  std::string plugin = folder + "\\\xE8\x83\x8C\xE6\x99\xAF.dll";  // 背景.dll
  JapaneseStage() {
    CreateDirectoryW(Wide(folder).c_str(), nullptr);
    for (const char *name : {"back1.bmp", "back2.bmp", "back3.bmp"})
      CopyFileW(Wide(std::string("samples\\layered\\") + name).c_str(),
                Wide(folder + "\\" + name).c_str(), FALSE);
    CopyFileW(L"stage.dll", Wide(plugin).c_str(), FALSE);
  }
  ~JapaneseStage() {
    for (const char *name : {"back1.bmp", "back2.bmp", "back3.bmp"})
      DeleteFileW(Wide(folder + "\\" + name).c_str());
    DeleteFileW(Wide(plugin).c_str());
    RemoveDirectoryW(Wide(folder).c_str());
  }
};

TEST(UnderAnyCodePage, JapaneseFolderAndPluginLoad) {
  if (const char *page = getenv("STAGEVIEW_CODE_PAGE")) {
    ASSERT_EQ(GetACP(), unsigned(atoi(page))) << "the prefix's code page";
  }
  JapaneseStage stage;
  traced.clear();
  TraceHostCalls(Collect);
  std::string error;
  ASSERT_EQ(OpenStage(stage.plugin.c_str(), stage.folder.c_str(), error), 0)
      << error;
  CloseStage();
  TraceHostCalls(nullptr);
  int loaded = 0;
  for (const std::string &line : traced)
    loaded += line.find("LoadSurface(") != std::string::npos &&
              line.find(") -> back") != std::string::npos;
  EXPECT_EQ(loaded, 3) << ::testing::PrintToString(traced);
  TempFolder out;
  std::string errors;
  EXPECT_EQ(RunStageview(
                {stage.plugin, stage.folder + "\\", "--out", out.Join("x.bmp")},
                &errors),
            kExitDone);
  EXPECT_EQ(errors, "");
}

// The whole program under code page 1252, with the Japanese names on its
// wide command line: the plug-in loads its bitmap from the folder, draws a
// frame, then never returns from its second draw, which the live window
// makes. stageview prints its framing, then ends the run with its own exit
// code and names draw.
TEST(WesternCodePage, HangingPluginInAJapaneseFolderEndsTheWindow) {
  JapaneseStage stage;
  CopyFileW(L"faulty_plugin_4.dll", Wide(stage.plugin).c_str(), FALSE);
  const std::string limit = std::to_string(2 * TestPace());
  std::string output;
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(
      RunProgram("stageview.exe \"" + stage.plugin + "\" \"" + stage.folder +
                     "\" --window --trace --call-limit " + limit,
                 &output),
      kExitPluginHung)
      << output;
  EXPECT_NE(output.find("\\back1.bmp\", 0) -> back1.bmp (800 x 480"),
            std::string::npos)
      << output;
  // The window too says the framing it opens with.
  EXPECT_NE(output.find("stageview: framing: eye at x 0, y 0; zoom "),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("stageview: the plug-in's draw did not return within " +
                        limit + " s"),
            std::string::npos)
      << output;
  EXPECT_GE(GetTickCount64() - start, 2000u * TestPace());
}

// The live window driven with real key presses on a desktop of its own:
// the arrow keys (no config.dat here) move the camera until the stage's
// edge and the eye until its limit, both shown in the title; Esc ends it.
TEST(StageviewWindow, ArrowKeysMoveTheViewUpToItsLimits) {
  std::string atEdge, eyeRaised;
  bool sawWindow = false;
  ProgramLaunch launch;
  launch.commandLine = "stageview.exe stage.dll samples\\layered --window";
  launch.desktop = "stageview-window-" + std::to_string(GetCurrentProcessId());
  launch.drive = [&](unsigned long processId) {
    HWND window =
        WaitForProcessWindow(processId, "stageview", nullptr, Paced(120000));
    if (!window) return;
    sawWindow = true;
    // Keys go to the active window: one pressed before the new window is
    // active never reaches its thread's key state, and the camera then
    // stayed at 0 for the whole minute (seen in 2 of about 20 runs).
    if (!WaitWhileAlive(processId, Paced(60000),
                        [window] { return GetForegroundWindow() == window; }))
      return EndProgram(processId, 99);
    auto title = [window] {
      char text[256] = "";
      GetWindowTextA(window, text, sizeof text);
      return std::string(text);
    };
    // Held down until the title shows `wanted`, the program ends or a
    // minute passes; the key-down repeats as a keyboard's auto-repeat
    // does, so one that arrived before the window took the keyboard is not
    // the only one (seen: the camera stayed at 0 for the whole minute).
    auto hold = [&](WORD key, const char *wanted) {
      ULONGLONG nextRepeat = 0;
      WaitWhileAlive(processId, Paced(60000), [&] {
        if (title().find(wanted) != std::string::npos) return true;
        if (GetTickCount64() >= nextRepeat) {
          SendKey(key, false);
          nextRepeat = GetTickCount64() + 100;
        }
        return false;
      });
      SendKey(key, true);
      return title();
    };
    atEdge = hold(VK_RIGHT, "(edge)");
    if (!ProcessAlive(processId)) return;
    eyeRaised = hold(VK_UP, "eye +1.00");
    if (ProcessAlive(processId)) PressKey(VK_ESCAPE);
  };
  // A safety net for a hang: natively the run takes a few seconds.
  std::vector<DebuggeeRun> runs = RunWithDebugMonitor({launch}, Paced(180000));
  ASSERT_TRUE(sawWindow);
  EXPECT_TRUE(runs[0].exited);
  EXPECT_EQ(runs[0].exitCode, 0u);
  // The layered sample's near layer shows its edge beyond camera 0.19.
  EXPECT_NE(atEdge.find("camera +0.19 (edge), eye +0.00"), std::string::npos)
      << atEdge;
  EXPECT_NE(eyeRaised.find("camera +0.19 (edge), eye +1.00"), std::string::npos)
      << eyeRaised;
}

}  // namespace
