// Every figure of the stage authors' guide (docs/stage-authoring.md, shipped
// as sdk\stage-authoring.md) against what stageview prints for it: each case
// builds the stage the guide speaks of, renders it through the real
// plug-in, and finds the printed figures in stageview's layer line and the
// same figures at their place in the guide.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "stage_host.h"
#include "stageview_main.h"
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

// The guide's lines as they are (its command and output blocks).
std::vector<std::string> GuideLines() {
  std::vector<std::string> lines;
  const char *path = getenv("STAGE_GUIDE");
  if (!path) return lines;
  Bytes bytes = ReadBytes(path);
  std::string line;
  for (unsigned char c : bytes) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += char(c);
    }
  }
  lines.push_back(line);
  return lines;
}

// stageview run in this process as its command line `args` asks, with what
// it prints on stdout and stderr (in a temporary file in place of each).
int RunStageview(std::vector<std::string> args, std::string *printed) {
  args.insert(args.begin(), "stageview");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  fflush(stdout);
  FILE *sink = tmpfile();
  int saved = _dup(_fileno(stdout));
  _dup2(_fileno(sink), _fileno(stdout));
  SendStageviewErrorsTo(sink);
  SendHostWarningsTo(sink);
  int code = StageviewMain(int(argv.size()), argv.data());
  fflush(stdout);
  SendStageviewErrorsTo(stderr);
  SendHostWarningsTo(stderr);
  _dup2(saved, _fileno(stdout));
  _close(saved);
  fflush(sink);
  rewind(sink);
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, sink)) > 0) text.append(chunk, n);
  fclose(sink);
  for (char c : text)
    if (c != '\r') *printed += c;
  return code;
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
     {"| 1280 | 0.03 | 118.2 |", "rows 220 to 464 at zoom 1"}},
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
    // The recommended sizes, as a stage of three.
    {"recommended sky",
     "stage.dll",
     {{800, 480}, {1024, 400}, {1152, 320}},
     0,
     {"quad z 3.03,", "rows 209 to 594", "moves 47.7 columns"},
     {"| sky | back1.bmp | 800 x 480 | 3.03 | 209 to 594 | 47.7 |",
      "at W = 800 (s = 0.801) rows 209 to 594"}},
    {"recommended mountains",
     "stage.dll",
     {{800, 480}, {1024, 400}, {1152, 320}},
     1,
     {"quad z 0.6967,", "rows 227 to 467", "moves 89.0 columns"},
     {"| mountains | back2.bmp | 1024 x 400 | 0.6967 | 227 to 467 | 89.0 |"}},
    {"recommended ground",
     "stage.dll",
     {{800, 480}, {1024, 400}, {1152, 320}},
     2,
     {"quad z 0.28,", "rows 396 to 652", "moves 105.3 columns"},
     {"| ground | back3.bmp | 1152 x 320 | 0.28 | 396 to 652 | 105.3 |"}},
    {"recommended single layer",
     "tessel.dll",
     {{1280, 488}},
     0,
     {"quad z 0.03,", "rows 220 to 464", "moves 118.2 columns"},
     {"| tessel.dll's one layer | back1.bmp | 1280 x 488 | 0.03 | 220 to 464 "
      "| 118.2 |"}},
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
  EXPECT_NE(guide.find("stageview.exe ..\\stage.dll FOLDER --framing guide"),
            std::string::npos);
  for (const GuideCase &c : kCases) {
    SCOPED_TRACE(c.name);
    TempFolder stage;
    for (size_t i = 0; i < c.layers.size(); ++i)
      WriteBytes(stage.Join("back" + std::to_string(i + 1) + ".bmp"),
                 GreyBmp(c.layers[i].first, c.layers[i].second));
    // The guide's command for these figures, FOLDER being the stage.
    TempFolder out;
    std::string printed;
    ASSERT_EQ(RunStageview({c.plugin, stage.path, "--framing", "guide", "--out",
                            out.Join("x.bmp")},
                           &printed),
              0)
        << printed;
    // The layer lines, in the order printed.
    std::vector<std::string> lines;
    for (size_t at = 0;
         (at = printed.find("stageview: back", at)) != std::string::npos; ++at)
      lines.push_back(printed.substr(at, printed.find('\n', at) - at));
    ASSERT_LT(c.line, lines.size()) << printed;
    for (const std::string &figure : c.printed)
      EXPECT_NE(lines[c.line].find(figure), std::string::npos)
          << "stageview printed: " << lines[c.line] << "\nnot: " << figure;
    for (const std::string &text : c.guide)
      EXPECT_NE(guide.find(text), std::string::npos)
          << "the guide does not say: " << text;
  }
}

// Every command the guide gives on a sample ("stageview.exe ..\\stage.dll
// samples\\..."), run as it stands but for the image it writes, prints
// each "stageview: " line of the output block that follows it.
TEST(StageGuide, EveryCommandPrintsWhatTheGuideShows) {
  const std::vector<std::string> lines = GuideLines();
  ASSERT_GT(lines.size(), 1u) << "STAGE_GUIDE, set by CTest, names the guide";
  int commands = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string &line = lines[i];
    if (line.rfind("stageview.exe ..\\", 0) != 0 ||
        line.find(" samples\\") == std::string::npos)
      continue;
    SCOPED_TRACE(line);
    // The arguments, the plug-in as seen from this test's folder.
    std::vector<std::string> args;
    for (size_t at = strlen("stageview.exe "); at < line.size();) {
      size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      args.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    args[0] = args[0].substr(3);  // "..\\stage.dll"
    TempFolder out;
    for (size_t a = 0; a + 1 < args.size(); ++a)
      if (args[a] == "--out") args[a + 1] = out.Join(args[a + 1]);
    // The output block: the next fenced block after the command's own.
    size_t at = i + 1;
    while (at < lines.size() && lines[at].rfind("```", 0) != 0) ++at;
    ++at;
    while (at < lines.size() && lines[at].rfind("```", 0) != 0) ++at;
    std::vector<std::string> shown;
    for (++at; at < lines.size() && lines[at].rfind("```", 0) != 0; ++at)
      if (lines[at].rfind("stageview: ", 0) == 0) shown.push_back(lines[at]);
    EXPECT_FALSE(shown.empty()) << "no output block after the command";
    std::string printed;
    EXPECT_EQ(RunStageview(args, &printed), 0) << printed;
    for (const std::string &expected : shown)
      EXPECT_NE(printed.find(expected + "\n"), std::string::npos)
          << "the guide shows: " << expected << "\nstageview printed:\n"
          << printed;
    ++commands;
  }
  EXPECT_GE(commands, 3);
}

}  // namespace
