#include "stageview_main.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "image_files.h"
#include "stage_host.h"
#include "version.h"

FILE *stageviewErrors = stderr;

namespace {

const char usage[] =
    "usage: stageview PLUGIN.dll STAGE_FOLDER [options]\n"
    "Loads a stage plug-in as the game host does and renders its stage\n"
    "(640 x 480; see README for the view coordinates, this host's own).\n"
    "  --out FILE      where the image goes, FILE.bmp or FILE.png\n"
    "                  (default: stage.bmp)\n"
    "  --camera X      camera position along x, in view units (default 0)\n"
    "  --camera-y Y    eye height, in view units (default 0); the picture\n"
    "                  is zoomed and placed so the layers fill the frame\n"
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
    "  --help          this text\n"
    "  --version       the version\n"
    "Exit codes: 0 done, 1 bad arguments, 2 plug-in not loadable, 3 not a\n"
    "stage plug-in, 4 no stage folder, 5 the plug-in broke the host\n"
    "contract, 6 cannot write the image, 7 the plug-in crashed, 8 stageview\n"
    "itself crashed.\n";

void PrintTrace(const std::string &line) { printf("%s\n", line.c_str()); }

int Fail(int code, const std::string &message) {
  fprintf(stageviewErrors, "stageview: %s\n", message.c_str());
  return code;
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

struct Options {
  const char *plugin = nullptr, *folder = nullptr, *out = "stage.bmp";
  double camera = 0, eyeHeight = 0;
  int pan = 0, bench = 0;
  bool trace = false, window = false;
};

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
};

void SetNumber(Options &options, const std::string &name, double value) {
  if (name == "--camera") options.camera = value;
  if (name == "--camera-y") options.eyeHeight = value;
  if (name == "--pan") options.pan = int(value);
  if (name == "--bench") options.bench = int(value);
}

// Fills `options` from the command line. Returns -1 to go on, otherwise
// the exit code (0 after --help).
int ParseArguments(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    const NumberOption *number = nullptr;
    for (const NumberOption &n : numberOptions)
      if (arg == n.name) number = &n;
    if (arg == "--help" || arg == "-h") {
      printf("%s", usage);
      return 0;
    } else if (arg == "--version") {
      printf("stageview %s\n", PROJECT_VERSION_TEXT);
      return 0;
    } else if (number) {
      double parsed;
      if (!value || !ParseNumber(value, number->low, number->high, &parsed) ||
          (number->whole && parsed != int(parsed))) {
        char range[96];
        snprintf(range, sizeof range, "%s wants a %s from %.9g to %.9g",
                 number->name, number->whole ? "whole number" : "number",
                 number->low, number->high);
        return Fail(1, std::string(range) + ", not \"" + (value ? value : "") +
                           "\"\n" + usage);
      }
      SetNumber(options, arg, parsed);
      ++i;
    } else if (arg == "--out" && value) {
      options.out = argv[++i];
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--window") {
      options.window = true;
    } else if (arg.rfind("--", 0) == 0) {
      return Fail(1, "unknown option " + arg + "\n" + usage);
    } else if (!options.plugin) {
      options.plugin = argv[i];
    } else if (!options.folder) {
      options.folder = argv[i];
    } else {
      return Fail(1, "too many arguments\n" + std::string(usage));
    }
  }
  if (ImageKind(options.out).empty())
    return Fail(1, "--out wants a name ending in .bmp or .png, not \"" +
                       std::string(options.out) + "\"");
  if (!options.plugin || !options.folder)
    return Fail(
        1, "a plug-in and a stage folder are needed\n" + std::string(usage));
  return -1;
}

// The framing for the stage just opened: one frame is drawn to learn its
// layers, then the view is fitted to them.
View FitToStage(double eyeHeight, Frame &scratch) {
  RenderFrame(PlainView(0), scratch);
  return FittedView(eyeHeight);
}

// Where the camera may go along x: the range where the stage's edges stay
// out of sight, or -1 to +1 when that range is (nearly) empty.
void PanRange(const View &view, double *low, double *high) {
  if (CameraRange(view, low, high) && *high - *low >= 0.02) return;
  *low = -1, *high = 1;
}

struct LiveView {
  Frame *frame;
  View view;
  double low, high;  // camera limits along x
  CameraKeys keys;
  const char *plugin, *folder;
  double eyeHeight;      // as given; the framing is fitted for it
  HANDLE folderChanges;  // signalled when a file in the folder changes
};

// The eye moves up and down by as much as the camera moves sideways.
const double kEyeLimit = 1.0;

void ShowCameraInTitle(HWND window, const LiveView &live) {
  char title[512];
  bool edge = live.view.x <= live.low || live.view.x >= live.high;
  snprintf(title, sizeof title, "stageview - %s - camera %+.2f%s, eye %+.2f",
           live.plugin, live.view.x, edge ? " (edge)" : "", live.view.y);
  SetWindowTextA(window, title);
}

// Releases and unloads the stage, then loads it afresh: changed bitmaps
// (and a rebuilt plug-in) are picked up, and the framing fitted again.
void ReloadStage(HWND window, LiveView &live) {
  for (const std::string &p : CloseStage()) Fail(5, "host contract: " + p);
  std::string error;
  if (int code = OpenStage(live.plugin, live.folder, error)) {
    Fail(code, error);
    DestroyWindow(window);
    return;
  }
  double x = live.view.x, y = live.view.y;
  live.view = FitToStage(live.eyeHeight, *live.frame);
  PanRange(live.view, &live.low, &live.high);
  live.view.x = std::clamp(x, live.low, live.high);
  live.view.y = y;
  ShowCameraInTitle(window, live);
  printf("stageview: reloaded %s\n", live.folder);
}

// Steps the camera by the held keys; true when it moved.
bool MoveCamera(LiveView &live) {
  const double step = 0.03;
  View moved = live.view;
  if (GetKeyState(live.keys.left) < 0) moved.x -= step;
  if (GetKeyState(live.keys.right) < 0) moved.x += step;
  if (GetKeyState(live.keys.up) < 0) moved.y += step;
  if (GetKeyState(live.keys.down) < 0) moved.y -= step;
  moved.x = std::clamp(moved.x, live.low, live.high);
  moved.y = std::clamp(moved.y, live.eyeHeight - kEyeLimit,
                       live.eyeHeight + kEyeLimit);
  if (moved.x == live.view.x && moved.y == live.view.y) return false;
  live.view = moved;
  return true;
}

LRESULT CALLBACK LiveWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  LiveView *live =
      reinterpret_cast<LiveView *>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER:
      if (live->folderChanges &&
          WaitForSingleObject(live->folderChanges, 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(live->folderChanges);
        Sleep(100);  // let the writer finish the file
        ReloadStage(window, *live);
      }
      if (MoveCamera(*live)) ShowCameraInTitle(window, *live);
      RenderFrame(live->view, *live->frame);
      InvalidateRect(window, NULL, FALSE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      BITMAPINFO info = {};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = kFrameWidth;
      info.bmiHeader.biHeight = -kFrameHeight;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      SetDIBitsToDevice(dc, 0, 0, kFrameWidth, kFrameHeight, 0, 0, 0,
                        kFrameHeight, live->frame->pixels, &info,
                        DIB_RGB_COLORS);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      if (wParam == VK_F5) ReloadStage(window, *live);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RunWindow(const Options &options, const View &view, Frame *frame) {
  LiveView live = {};
  live.frame = frame;
  live.view = view;
  PanRange(view, &live.low, &live.high);
  live.view.x = std::clamp(view.x, live.low, live.high);
  live.plugin = options.plugin;
  live.folder = options.folder;
  live.eyeHeight = options.eyeHeight;
  HANDLE changes = FindFirstChangeNotificationA(
      options.folder, FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (changes != INVALID_HANDLE_VALUE) live.folderChanges = changes;
  ReadCameraKeys(&live.keys);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = LiveWindowProc;
  windowClass.hInstance = GetModuleHandleA(NULL);
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  windowClass.lpszClassName = "stageview";
  RegisterClassA(&windowClass);
  RECT rect = {0, 0, kFrameWidth, kFrameHeight};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&rect, style, FALSE);
  HWND window = CreateWindowA("stageview", "stageview", style, CW_USEDEFAULT,
                              CW_USEDEFAULT, rect.right - rect.left,
                              rect.bottom - rect.top, NULL, NULL,
                              windowClass.hInstance, NULL);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&live));
  ShowCameraInTitle(window, live);
  RenderFrame(live.view, *frame);
  ShowWindow(window, SW_SHOWNORMAL);
  SetTimer(window, 1, 16, NULL);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (live.folderChanges) FindCloseChangeNotification(live.folderChanges);
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

// The band at the bottom of each frame of a pan strip: a track for the
// camera range, a mark where this frame's camera is, and its value.
const int kBandRows = 18, kTrackLeft = 16, kTrackRight = 480;
const uint32_t kBandColour = 0x101010, kTrackColour = 0x808080;

void MarkCameraPosition(Frame &frame, double camera, double low, double high) {
  uint32_t(*band)[kFrameWidth] = &frame.pixels[kFrameHeight - kBandRows];
  for (int row = 0; row < kBandRows; ++row)
    for (int col = 0; col < kFrameWidth; ++col)
      band[row][col] =
          row == kBandRows / 2 && col >= kTrackLeft && col <= kTrackRight
              ? kTrackColour
              : kBandColour;
  int mark = int(std::lround(kTrackLeft + (kTrackRight - kTrackLeft) *
                                              (camera - low) / (high - low)));
  for (int row = 2; row < kBandRows - 2; ++row)
    for (int col = mark - 2; col <= mark + 2; ++col)
      band[row][col] = kPanMarkColour;
  // The value as text, drawn by GDI into a copy of the band.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kFrameWidth;
  info.bmiHeader.biHeight = -kBandRows;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!bitmap) {
    DeleteDC(dc);
    return;
  }
  memcpy(bits, band, sizeof(uint32_t) * kFrameWidth * kBandRows);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  char text[32];
  int length = snprintf(text, sizeof text, "camera %+.2f", camera);
  GdiFlush();
  TextOutA(dc, kTrackRight + 20, 2, text, length);
  GdiFlush();
  memcpy(band, bits, sizeof(uint32_t) * kFrameWidth * kBandRows);
  for (int row = 0; row < kBandRows; ++row)
    for (int col = 0; col < kFrameWidth; ++col) band[row][col] &= 0xFFFFFF;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// One frame, or a pan strip, written to options.out; the exit code.
int WriteImage(const Options &options, View view,
               std::vector<std::unique_ptr<Frame>> &frames) {
  int count = options.pan ? options.pan : 1;
  double low = view.x, high = view.x;
  if (options.pan) PanRange(view, &low, &high);
  std::vector<Frame *> strip;
  for (int i = 0; i < count; ++i) {
    if (options.pan) view.x = low + (high - low) * i / (count - 1);
    frames.emplace_back(new Frame);
    RenderFrame(view, *frames.back());
    if (options.pan) MarkCameraPosition(*frames.back(), view.x, low, high);
    strip.push_back(frames.back().get());
    if (i == 0) {
      printf(
          "stageview: framing: eye at x %.4g, y %.4g; zoom %.4g, horizon at "
          "row %.1f (fitted so that the layers fill the frame's rows)\n",
          view.x + 0.0, view.y + 0.0, view.zoom, view.horizonRow);
      for (const std::string &line : DescribeLayers(view))
        printf("stageview: %s\n", line.c_str());
    }
  }
  std::string why;
  if (!WriteFrames(options.out, strip, why))
    return Fail(6, "cannot write " + std::string(options.out) +
                       (why.empty() ? "" : ": " + why));
  printf("stageview: wrote %s (%d frame%s)\n", options.out, count,
         count > 1 ? "s" : "");
  return 0;
}

}  // namespace

void ReadCameraKeys(CameraKeys *keys) {
  *keys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
  HANDLE file = CreateFileA(".\\system\\config.dat", GENERIC_READ,
                            FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  int32_t record[24];
  DWORD read = 0;
  if (ReadFile(file, record, sizeof record, &read, NULL) &&
      read == sizeof record)
    // Player 1's entries: up at byte 0, down 8, left 16, right 24.
    *keys = {record[0], record[2], record[4], record[6]};
  CloseHandle(file);
}

int StageviewMain(int argc, char **argv) {
  Options options;
  int parsed = ParseArguments(argc, argv, options);
  if (parsed >= 0) return parsed;
  DWORD attributes = GetFileAttributesA(options.folder);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(4, "no stage folder " + std::string(options.folder));

  traceLine = options.trace ? PrintTrace : nullptr;
  std::string error;
  if (int code = OpenStage(options.plugin, options.folder, error))
    return Fail(code, error);
  std::vector<std::unique_ptr<Frame>> frames;
  frames.emplace_back(new Frame);
  View view = FitToStage(options.eyeHeight, *frames[0]);
  view.x = options.camera;
  int status = 0;
  if (options.window)
    RunWindow(options, view, frames[0].get());
  else if (options.bench)
    RunBench(options.bench, view, *frames[0]);
  else
    status = WriteImage(options, view, frames);
  std::vector<std::string> problems = CloseStage();
  for (const std::string &p : problems) Fail(5, "host contract: " + p);
  if (!problems.empty() && !status) status = 5;
  return status;
}
