// stageview's command line (stageview_main.h): the options, then main's
// flow, top to bottom: check the stage folder, open the stage
// (stage_host), fit the view, then show it live (live_window), time it, or
// render the frame or pan strip (pan_strip) and write the image
// (image_files); close the stage and turn what went wrong into the exit
// code (exit_codes.h).
#include "stageview_main.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "image_files.h"
#include "live_window.h"
#include "pan_strip.h"
#include "stage_host.h"
#include "version.h"
#include "wide_text.h"

namespace {

FILE *stageviewErrors = stderr;

// Prints "stageview: MESSAGE" to stageviewErrors; returns `code`.
int ReportFailure(int code, const std::string &message) {
  fprintf(stageviewErrors, "stageview: %s\n", message.c_str());
  return code;
}
void Report(const std::string &message) { ReportFailure(kExitDone, message); }

const char usageOptions[] =
    "usage: stageview PLUGIN.dll STAGE_FOLDER [options]\n"
    "Loads a stage plug-in as the game host does and renders its stage\n"
    "(640 x 480). The view coordinates (this host's own projection, y up,\n"
    "far to near, magenta unpainted) are in stage-authoring.md, beside\n"
    "stageview.exe in the SDK, and in include\\stage_plugin.h.\n"
    "  --out FILE      where the image goes, FILE.bmp or FILE.png\n"
    "                  (default: stage.bmp)\n"
    "  --camera X      camera position along x, in view units (default 0)\n"
    "  --camera-y Y    eye height, in view units (default 0)\n"
    "  --framing fit   (the default) the least zoom of at least 1 and the\n"
    "                  horizon row at which the layers fill the frame\n"
    "  --framing guide the guide's frame: zoom 1, horizon at row 240\n"
    "  --zoom Z        this zoom (0.1 to 64), and --horizon ROW this\n"
    "  --horizon ROW   horizon row (-10000 to 10000); either alone takes\n"
    "                  the guide's value for the other\n"
    "  --pan N         N frames (2-16) side by side, the camera across the\n"
    "                  range where the stage's edges stay out of sight\n"
    "                  (-1 to +1 when there is none), each frame marked\n"
    "  --trace         print every plug-in call and service call\n"
    "  --window        show the stage live; player 1's arrow keys from\n"
    "                  .\\system\\config.dat move the camera (left/right)\n"
    "                  and the eye (up/down), shown in the title; F5 or a\n"
    "                  changed file in the folder reloads the stage; Esc\n"
    "                  quits\n"
    "  --bench N       render N frames, print frames per second\n"
    "  --call-limit S  give up on a call into the plug-in that has not\n"
    "                  returned after S seconds (default 10; 100 where\n"
    "                  32-bit code runs through qemu's emulator)\n"
    "  --help          this text\n"
    "  --version       the version\n";

// The usage text: the options above, then the exit codes from their table,
// wrapped at 72 columns, never between a code and its first word.
std::string Usage() {
  std::string text = usageOptions, line = "Exit codes:";
  const size_t count = sizeof kExitCodes / sizeof kExitCodes[0];
  for (size_t i = 0; i < count; ++i) {
    std::string item = std::to_string(kExitCodes[i].code) + " " +
                       kExitCodes[i].meaning + (i + 1 < count ? "," : ".");
    for (size_t at = 0; at < item.size();) {
      // The code goes with its first word.
      size_t from = at ? at : item.find(' ') + 1;
      size_t space = item.find(' ', from);
      if (space == std::string::npos) space = item.size();
      std::string words = item.substr(at, space - at);
      if (line.size() + 1 + words.size() > 72) text += line + "\n", line = "";
      line += (line.empty() ? "" : " ") + words;
      at = space + 1;
    }
  }
  return text + line + "\n";
}

void PrintTrace(const std::string &line) { printf("%s\n", line.c_str()); }

struct Options {
  const char *plugin = nullptr, *folder = nullptr, *out = "stage.bmp";
  double camera = 0, eyeHeight = 0;
  double zoom = 0, horizon = NAN;  // 0 and NaN: not asked for
  bool guideFraming = false;
  double callLimit = 0;  // seconds; 0: DefaultCallLimitSeconds()
  int pan = 0, bench = 0;
  bool trace = false, window = false;
};

bool watchCalls;  // WatchPluginCallsInThisProcess

// The numeric options: a number is taken whole or not at all (finite, in
// range, nothing after it).
struct NumberOption {
  const char *name;
  double low, high;
  bool whole;
};
const NumberOption numberOptions[] = {
    {"--camera", -1e6, 1e6, false},
    {"--camera-y", -1e6, 1e6, false},
    {"--pan", 2, 16, true},
    {"--bench", 1, 1e7, true},
    {"--zoom", 0.1, 64, false},
    {"--horizon", -1e4, 1e4, false},
    {"--call-limit", 0.1, 3600, false},
};

const NumberOption *FindNumberOption(const std::string &arg) {
  for (const NumberOption &n : numberOptions)
    if (arg == n.name) return &n;
  return nullptr;
}

// A number in the text: finite, within [low, high], nothing after it.
bool ParseNumber(const char *text, double low, double high, double *value) {
  char *end = nullptr;
  double parsed = strtod(text, &end);
  if (end == text || *end || !std::isfinite(parsed) || parsed < low ||
      parsed > high)
    return false;
  *value = parsed;
  return true;
}

void SetNumber(Options &options, const std::string &name, double value) {
  if (name == "--camera") options.camera = value;
  if (name == "--camera-y") options.eyeHeight = value;
  if (name == "--pan") options.pan = int(value);
  if (name == "--bench") options.bench = int(value);
  if (name == "--zoom") options.zoom = value;
  if (name == "--horizon") options.horizon = value;
  if (name == "--call-limit") options.callLimit = value;
}

// Takes the value of a numeric option: true, or false after reporting it.
bool TakeNumber(const NumberOption &number, const char *value,
                Options &options) {
  double parsed;
  if (value && ParseNumber(value, number.low, number.high, &parsed) &&
      (!number.whole || parsed == int(parsed))) {
    SetNumber(options, number.name, parsed);
    return true;
  }
  char range[96];
  snprintf(range, sizeof range, "%s wants a %s from %.9g to %.9g", number.name,
           number.whole ? "whole number" : "number", number.low, number.high);
  ReportFailure(kExitBadArguments, std::string(range) + ", not \"" +
                                       (value ? value : "") + "\"\n" + Usage());
  return false;
}

// What the options ask for as a whole: an image name of a kind this host
// writes, a plug-in and a folder. -1 when all is there, else the exit code.
int CheckOptions(const Options &options) {
  if (ImageKind(options.out).empty())
    return ReportFailure(kExitBadArguments,
                         "--out wants a name ending in .bmp or .png, not \"" +
                             std::string(options.out) + "\"");
  if (!options.plugin || !options.folder)
    return ReportFailure(kExitBadArguments,
                         "a plug-in and a stage folder are needed\n" + Usage());
  return -1;
}

// Fills `options` from the command line. Returns -1 to go on, otherwise
// the exit code (kExitDone after --help).
int ParseArguments(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    const NumberOption *number = FindNumberOption(arg);
    if (arg == "--help" || arg == "-h") {
      printf("%s", Usage().c_str());
      return kExitDone;
    } else if (arg == "--version") {
      printf("stageview %s\n", PROJECT_VERSION_TEXT);
      return kExitDone;
    } else if (number) {
      if (!TakeNumber(*number, value, options)) return kExitBadArguments;
      ++i;
    } else if (arg == "--out" && value) {
      options.out = argv[++i];
    } else if (arg == "--framing" && value &&
               (std::string(value) == "guide" || std::string(value) == "fit")) {
      options.guideFraming = std::string(argv[++i]) == "guide";
    } else if (arg == "--framing") {
      return ReportFailure(kExitBadArguments,
                           "--framing wants \"fit\" or \"guide\", not \"" +
                               std::string(value ? value : "") + "\"\n" +
                               Usage());
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--window") {
      options.window = true;
    } else if (arg.rfind("--", 0) == 0) {
      return ReportFailure(kExitBadArguments,
                           "unknown option " + arg + "\n" + Usage());
    } else if (!options.plugin) {
      options.plugin = argv[i];
    } else if (!options.folder) {
      options.folder = argv[i];
    } else {
      return ReportFailure(kExitBadArguments, "too many arguments\n" + Usage());
    }
  }
  return CheckOptions(options);
}

// Why `path` (UTF-8) is no folder to open, or "" when it is one. A path
// too long for the plain calls is looked at through "\\?\".
std::string NoFolder(const char *path) {
  std::wstring wide = Widen(path);
  wchar_t full[32768];
  DWORD length = GetFullPathNameW(wide.c_str(), 32768, full, nullptr);
  if (length && length < 32768 && length >= MAX_PATH &&
      wcsncmp(full, L"\\\\", 2) != 0)
    wide = L"\\\\?\\" + std::wstring(full, length);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  DWORD error = GetLastError();
  std::string name = "the stage folder " + std::string(path);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return attributes & FILE_ATTRIBUTE_DIRECTORY
               ? ""
               : name + " is a file, not a folder";
  if (error == ERROR_FILENAME_EXCED_RANGE)
    return name + ": the path is too long for Windows";
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    return "no stage folder " + std::string(path) + ": not found";
  return name + " cannot be opened (Windows error " + std::to_string(error) +
         ")";
}

void RunBench(int count, const View &view, Frame &frame) {
  LARGE_INTEGER start, end, rate;
  QueryPerformanceFrequency(&rate);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) RenderFrame(view, frame);
  QueryPerformanceCounter(&end);
  double seconds = double(end.QuadPart - start.QuadPart) / rate.QuadPart;
  printf("stageview: %d frames in %.3f s: %.1f frames per second\n", count,
         seconds, count / seconds);
}

// How the framing was chosen, for the line that prints it.
const char *FramingSource(const Options &options) {
  if (options.guideFraming) return "--framing guide: the guide's frame";
  if (options.zoom || !std::isnan(options.horizon)) return "as asked";
  return "fitted so that the layers fill the frame's rows";
}

// What a frame shows: the framing, and each layer (with a warning for each
// one not seen).
void PrintFraming(const FrameRequests &layers, const View &view,
                  const char *source) {
  printf(
      "stageview: framing: eye at x %.4g, y %.4g; zoom %.4g, horizon at "
      "row %.1f (%s)\n",
      view.x + 0.0, view.y + 0.0, view.zoom, view.horizonRow, source);
  for (const std::string &warning : UnseenLayers(layers, view))
    Report("warning: " + warning);
  for (const std::string &line : DescribeLayers(layers, view))
    printf("stageview: %s\n", line.c_str());
}

// One frame, or a pan strip, written to options.out; the exit code.
int WriteImage(const Options &options, View view, const FrameRequests &fitted) {
  int count = options.pan ? options.pan : 1;
  double low = view.x, high = view.x;
  if (options.pan) PanRange(fitted, view, &low, &high);
  std::vector<std::unique_ptr<Frame>> frames;
  std::vector<Frame *> strip;
  for (int i = 0; i < count; ++i) {
    if (options.pan) view.x = low + (high - low) * i / (count - 1);
    frames.emplace_back(new Frame);
    FrameRequests drawn = RenderFrame(view, *frames.back());
    if (options.pan) MarkCameraPosition(*frames.back(), view.x, low, high);
    strip.push_back(frames.back().get());
    if (i == 0) PrintFraming(drawn, view, FramingSource(options));
  }
  std::string why;
  if (!WriteFrames(options.out, strip, why))
    return ReportFailure(kExitCannotWriteImage,
                         "cannot write " + std::string(options.out) +
                             (why.empty() ? "" : ": " + why));
  printf("stageview: wrote %s (%d frame%s)\n", options.out, count,
         count > 1 ? "s" : "");
  return kExitDone;
}

// Closes the stage (CloseStage) and reports every broken host contract it
// found; true when there was one.
bool CloseStageAndReport() {
  std::vector<std::string> problems = CloseStage();
  for (const std::string &p : problems)
    ReportFailure(kExitBrokeContract, "host contract: " + p);
  return !problems.empty();
}

// The framing the options ask for: the fitted one unless told otherwise.
View ChosenView(const Options &options, const View &fitted) {
  View view = fitted;
  if (options.guideFraming || options.zoom || !std::isnan(options.horizon)) {
    view.zoom = options.zoom ? options.zoom : 1;
    view.horizonRow = std::isnan(options.horizon) ? 240 : options.horizon;
  }
  view.x = options.camera;
  return view;
}

// The watch's report: what was printed so far, then why the run ends.
void ReportHang(const std::string &message) {
  fflush(stdout);
  ReportFailure(kExitPluginHung, message);
  fflush(stageviewErrors);
}

}  // namespace

void WatchPluginCallsInThisProcess() { watchCalls = true; }

void SendStageviewErrorsTo(FILE *errors) { stageviewErrors = errors; }

int StageviewMain(int argc, char **argv) {
  Options options;
  int parsed = ParseArguments(argc, argv, options);
  if (parsed >= 0) return parsed;
  std::string noFolder = NoFolder(options.folder);
  if (!noFolder.empty()) return ReportFailure(kExitNoStageFolder, noFolder);
  if (watchCalls)
    WatchPluginCalls(unsigned((options.callLimit ? options.callLimit
                                                 : DefaultCallLimitSeconds()) *
                              1000),
                     ReportHang);

  TraceHostCalls(options.trace ? PrintTrace : nullptr);
  std::string error;
  if (int code = OpenStage(options.plugin, options.folder, error))
    return ReportFailure(code, error);
  std::unique_ptr<Frame> frame(new Frame);
  FrameRequests fitted;
  View view =
      ChosenView(options, FitToStage(options.eyeHeight, *frame, fitted));
  int status = kExitDone;
  // The image prints the framing with its first frame; the other modes
  // print it here, so every run says what it used.
  if (options.window || options.bench) {
    PrintFraming(fitted, view, FramingSource(options));
    fflush(stdout);  // seen while the window is open
  }
  if (options.window)
    RunWindow({options.plugin, options.folder, options.eyeHeight, Report}, view,
              fitted, frame.get());
  else if (options.bench)
    RunBench(options.bench, view, *frame);
  else
    status = WriteImage(options, view, fitted);
  if (CloseStageAndReport() && status == kExitDone) status = kExitBrokeContract;
  return status;
}
