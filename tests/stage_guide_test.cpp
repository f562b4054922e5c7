// Every figure of the stage authors' guide (docs/stage-authoring.md, shipped
// as sdk\stage-authoring.md) against what stageview prints for it: each case
// builds the stage the guide speaks of, renders it through the real
// plug-in, and finds the printed figures in stageview's layer line and the
// same figures at their place in the guide.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "stage_host.h"
#include "test_files.h"

namespace {

// The guide as one line: whitespace runs made one space, "−" (U+2212)
// made "-" and "×" "x", so figures can be looked for however the text wraps.
std::string GuideText() {
  const char *path = getenv("STAGE_GUIDE");
  if (!path) return "";
  bool found = false;
  Bytes bytes = ReadBytes(path, &found);
  std::string text(bytes.begin(), bytes.end()), flat;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "\xE2\x88\x92") == 0) {
      flat += '-', i += 2;
    } else if (text.compare(i, 2, "\xC3\x97") == 0) {
      flat += 'x', i += 1;
    } else if (isspace(static_cast<unsigned char>(text[i]))) {
      if (!flat.empty() && flat.back() != ' ') flat += ' ';
    } else {
      flat += text[i];
    }
  }
  return flat;
}

// A 24-bit grey bitmap of the given size.
Bytes GreyBmp(int width, int height) {
  const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
  const size_t size = 54 + stride * height;
  Bytes file(size, 0x80);
  std::fill(file.begin(), file.begin() + 54, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, uint32_t(size)), put32(10, 54), put32(14, 40);
  put32(18, uint32_t(width)), put32(22, uint32_t(height));
  file[26] = 1, file[28] = 24;
  return file;
}

// The absent layers' warnings are expected: kept off the test's output
// while the object lives.
struct QuietWarnings {
  FILE *sink = tmpfile();
  QuietWarnings() { SendHostWarningsTo(sink ? sink : stderr); }
  ~QuietWarnings() {
    SendHostWarningsTo(stderr);
    if (sink) fclose(sink);
  }
};

struct GuideCase {
  const char *name;
  const char *plugin;
  std::vector<std::pair<int, int>> layers;  // back1, back2, ...: width, height
  size_t line;                              // which layer's line, from 0
  std::vector<std::string> printed;         // in that line, as printed
  std::vector<std::string> guide;           // in the guide (ASCII minus)
};

// The figures at zoom 1, the eye at 0 and the horizon at row 240.
const GuideCase kCases[] = {
    {"1920 wide",
     "stage.dll",
     {{1920, 480}},
     0,
     {"quad z -0.47,", "moves 156.9 columns"},
     {"| 1920 | -0.47 | 156.9 |"}},
    {"1280 wide",
     "stage.dll",
     {{1280, 480}},
     0,
     {"quad z 0.03,", "moves 118.2 columns", "rows 220 to 464"},
     {"| 1280 | 0.03 | 118.2 |", "(at W = 1280: rows 220 to 464 at zoom 1)"}},
    {"1024 wide",
     "stage.dll",
     {{1024, 480}},
     0,
     {"quad z 0.6967,", "moves 89.0 columns"},
     {"| 1024 | 0.6967 | 89.0 |"}},
    {"960 wide",
     "stage.dll",
     {{960, 480}},
     0,
     {"quad z 1.03,", "moves 79.2 columns"},
     {"| 960 | 1.03 | 79.2 |"}},
    {"800 wide",
     "stage.dll",
     {{800, 480}},
     0,
     {"quad z 3.03,", "moves 47.7 columns"},
     {"| 800 | 3.03 | 47.7 |"}},
    {"640 after 1280",
     "stage.dll",
     {{1280, 480}, {640, 480}, {640, 480}},
     1,
     {"quad z 0.06,"},
     {"1280, 640, 640 give z 0.03, 0.06, 0.09"}},
    {"640 after 640",
     "stage.dll",
     {{1280, 480}, {640, 480}, {640, 480}},
     2,
     {"quad z 0.09,"},
     {"1280, 640, 640 give z 0.03, 0.06, 0.09"}},
    {"640 first",
     "stage.dll",
     {{640, 480}},
     0,
     {"quad z 0.03,"},
     {"a 640-wide first layer counts from 0 (z 0.03)"}},
    {"320 wide",
     "stage.dll",
     {{320, 480}},
     0,
     {"quad z -2.97,", "behind the eye: not drawn"},
     {"| 19 to 639 | below -2: behind the eye |", "320 gives z -2.97"}},
    {"639 wide",
     "stage.dll",
     {{639, 480}},
     0,
     {"quad z -641,", "behind the eye: not drawn"},
     {"639 gives -641"}},
    {"19 wide",
     "stage.dll",
     {{19, 480}},
     0,
     {"behind the eye: not drawn"},
     {"| 19 to 639 |"}},
    {"18 wide",
     "stage.dll",
     {{18, 480}},
     0,
     {"quad z -1.999,", "moves "},
     {"| 1 to 18 | -1.999 to -1.972: just in front of the eye"}},
    {"1 wide",
     "stage.dll",
     {{1, 480}},
     0,
     {"quad z -1.972,", "moves 8440.3 columns"},
     {"| 1 to 18 | -1.999 to -1.972: just in front of the eye | 8440.3 at "
      "width 1 |"}},
    {"layer 2 at 960 x 480",
     "stage.dll",
     {{1280, 480}, {960, 480}, {800, 480}},
     1,
     {"rows 191 to 479"},
     {"At 960 x 480 layer 2 covers rows 191 to 479"}},
    {"layer 3 at 800 x 480",
     "stage.dll",
     {{1280, 480}, {960, 480}, {800, 480}},
     2,
     {"rows 177 to 561"},
     {"at 800 x 480 layer 3 rows 177 to 561"}},
    {"tessel, any size",
     "tessel.dll",
     {{333, 222}},
     0,
     {"quad z 0.03, x -2.707 to 2.707, y -1.894 to 0.1657"},
     {"z 0.03, x -2.707 to 2.707, y -1.894 to 0.1657"}},
};

TEST(StageGuide, EveryFigureIsWhatStageviewPrints) {
  const std::string guide = GuideText();
  ASSERT_FALSE(guide.empty()) << "STAGE_GUIDE, set by CTest, names the guide";
  std::unique_ptr<Frame> frame(new Frame);
  QuietWarnings quiet;
  for (const GuideCase &c : kCases) {
    SCOPED_TRACE(c.name);
    TempFolder stage;
    for (size_t i = 0; i < c.layers.size(); ++i)
      WriteBytes(stage.Join("back" + std::to_string(i + 1) + ".bmp"),
                 GreyBmp(c.layers[i].first, c.layers[i].second));
    std::string error;
    ASSERT_EQ(OpenStage(c.plugin, stage.path.c_str(), error), 0) << error;
    FrameRequests drawn = RenderFrame(PlainView(0), *frame);
    std::vector<std::string> lines = DescribeLayers(drawn, PlainView(0));
    CloseStage();
    ASSERT_LT(c.line, lines.size());
    for (const std::string &figure : c.printed)
      EXPECT_NE(lines[c.line].find(figure), std::string::npos)
          << "stageview printed: " << lines[c.line] << "\nnot: " << figure;
    for (const std::string &text : c.guide)
      EXPECT_NE(guide.find(text), std::string::npos)
          << "the guide does not say: " << text;
  }
}

// The guide's sample output: the three-layer sample under the framing
// stageview fits to it.
TEST(StageGuide, SampleOutputIsWhatStageviewPrints) {
  const std::string guide = GuideText();
  ASSERT_FALSE(guide.empty()) << "STAGE_GUIDE, set by CTest, names the guide";
  std::unique_ptr<Frame> frame(new Frame);
  std::string error;
  ASSERT_EQ(OpenStage("stage.dll", "samples\\layered", error), 0) << error;
  FrameRequests layers;
  View view = FitToStage(0, *frame, layers);
  std::vector<std::string> lines = DescribeLayers(layers, view);
  CloseStage();
  char framing[200];
  snprintf(framing, sizeof framing, "zoom %.4g, horizon at row %.1f", view.zoom,
           view.horizonRow);
  EXPECT_NE(guide.find(framing), std::string::npos) << framing;
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(guide.find("stageview: " + lines[0]), std::string::npos)
      << lines[0];
}

}  // namespace
