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

FILE *stageviewErrors = stderr;

namespace {

const char usage[] =
    "usage: stageview PLUGIN.dll STAGE_FOLDER [options]\n"
    "Loads a stage plug-in as the game host does and renders its stage\n"
    "(640 x 480; see README for the view coordinates).\n"
    "  --out FILE      where the image goes, FILE.bmp or FILE.png\n"
    "                  (default: stage.bmp)\n"
    "  --camera X      camera position along x, in view units (default 0)\n"
    "  --pan N         N frames (2-16), camera from -1 to +1, side by side\n"
    "  --trace         print every plug-in call and service call\n"
    "  --window        show the stage live; player 1's left and right keys\n"
    "                  from .\\system\\config.dat pan the camera (-1 to +1,\n"
    "                  shown in the title), F5 or a changed file in the\n"
    "                  folder reloads the stage, Esc quits\n"
    "  --bench N       render N frames, print frames per second\n"
    "  --help          this text\n"
    "Exit codes: 0 done, 1 bad arguments, 2 plug-in not loadable, 3 not a\n"
    "stage plug-in, 4 no stage folder, 5 the plug-in broke the host\n"
    "contract, 6 cannot write the image, 7 the plug-in crashed, 8 stageview\n"
    "itself crashed.\n";

void PrintTrace(const std::string &line) { printf("%s\n", line.c_str()); }

int Fail(int code, const std::string &message) {
  fprintf(stageviewErrors, "stageview: %s\n", message.c_str());
  return code;
}

struct LiveView {
  Frame *frame;
  double camera;
  int32_t leftKey, rightKey;
  const char *plugin, *folder;
  HANDLE folderChanges;  // signalled when a file in the folder changes
};

// The camera pans between -1 and +1, the range of --pan: beyond it the
// layers' edges come into view.
const double kCameraLimit = 1.0;

void ShowCameraInTitle(HWND window, const LiveView &view) {
  char title[512];
  snprintf(title, sizeof title, "stageview - %s - camera %+.2f%s", view.plugin,
           view.camera,
           std::fabs(view.camera) >= kCameraLimit ? " (edge)" : "");
  SetWindowTextA(window, title);
}

// Releases and unloads the stage, then loads it afresh: changed bitmaps
// (and a rebuilt plug-in) are picked up.
void ReloadStage(HWND window, LiveView &view) {
  for (const std::string &p : CloseStage()) Fail(5, "host contract: " + p);
  std::string error;
  if (OpenStage(view.plugin, view.folder, error)) {
    Fail(2, error);
    DestroyWindow(window);
    return;
  }
  printf("stageview: reloaded %s\n", view.folder);
}

LRESULT CALLBACK LiveWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  LiveView *view =
      reinterpret_cast<LiveView *>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER: {
      if (view->folderChanges &&
          WaitForSingleObject(view->folderChanges, 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(view->folderChanges);
        Sleep(100);  // let the writer finish the file
        ReloadStage(window, *view);
      }
      double camera = view->camera;
      if (GetKeyState(view->leftKey) < 0) camera -= 0.03;
      if (GetKeyState(view->rightKey) < 0) camera += 0.03;
      camera = std::clamp(camera, -kCameraLimit, kCameraLimit);
      if (camera != view->camera) {
        view->camera = camera;
        ShowCameraInTitle(window, *view);
      }
      RenderFrame(view->camera, *view->frame);
      InvalidateRect(window, NULL, FALSE);
      return 0;
    }
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
                        kFrameHeight, view->frame->pixels, &info,
                        DIB_RGB_COLORS);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      if (wParam == VK_F5) ReloadStage(window, *view);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RunWindow(const char *plugin, const char *folder, Frame *frame) {
  LiveView view = {frame, 0, 0, 0, plugin, folder, NULL};
  HANDLE changes = FindFirstChangeNotificationA(
      folder, FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (changes != INVALID_HANDLE_VALUE) view.folderChanges = changes;
  ReadPanKeys(&view.leftKey, &view.rightKey);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = LiveWindowProc;
  windowClass.hInstance = GetModuleHandleA(NULL);
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  windowClass.lpszClassName = "stageview";
  RegisterClassA(&windowClass);
  RECT rect = {0, 0, kFrameWidth, kFrameHeight};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&rect, style, FALSE);
  std::string title = std::string("stageview - ") + plugin;
  HWND window = CreateWindowA("stageview", title.c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, rect.right - rect.left,
                              rect.bottom - rect.top, NULL, NULL,
                              windowClass.hInstance, NULL);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&view));
  ShowCameraInTitle(window, view);
  RenderFrame(0, *frame);
  ShowWindow(window, SW_SHOWNORMAL);
  SetTimer(window, 1, 16, NULL);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (view.folderChanges) FindCloseChangeNotification(view.folderChanges);
}

}  // namespace

void ReadPanKeys(int32_t *left, int32_t *right) {
  *left = VK_LEFT, *right = VK_RIGHT;
  HANDLE file = CreateFileA(".\\system\\config.dat", GENERIC_READ,
                            FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  int32_t record[24];
  DWORD read = 0;
  if (ReadFile(file, record, sizeof record, &read, NULL) &&
      read == sizeof record) {
    *left = record[4];   // left, player 1: byte 16
    *right = record[6];  // right, player 1: byte 24
  }
  CloseHandle(file);
}

// A whole number in the text: finite, within [low, high], nothing after it.
bool ParseNumber(const char *text, double low, double high, double *value) {
  char *end = nullptr;
  double parsed = strtod(text, &end);
  if (end == text || *end || !std::isfinite(parsed) || parsed < low ||
      parsed > high)
    return false;
  *value = parsed;
  return true;
}

int StageviewMain(int argc, char **argv) {
  const char *plugin = nullptr, *folder = nullptr, *out = "stage.bmp";
  double camera = 0;
  int pan = 0, bench = 0;
  bool trace = false, window = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      printf("%s", usage);
      return 0;
    } else if (arg == "--out" && hasValue) {
      out = argv[++i];
    } else if (arg == "--camera" || arg == "--pan" || arg == "--bench") {
      // Numbers are taken whole or not at all: finite, in range, nothing
      // after them.
      const char *text = hasValue ? argv[++i] : "";
      double value;
      if (arg == "--camera") {
        if (!ParseNumber(text, -1e6, 1e6, &value))
          return Fail(1, "--camera wants a number from -1e6 to 1e6, not \"" +
                             std::string(text) + "\"\n" + usage);
        camera = value;
      } else if (arg == "--pan") {
        if (!ParseNumber(text, 2, 16, &value) || value != int(value))
          return Fail(1, "--pan wants 2 to 16 frames, not \"" +
                             std::string(text) + "\"\n" + usage);
        pan = int(value);
      } else {
        if (!ParseNumber(text, 1, 1e7, &value) || value != int(value))
          return Fail(1,
                      "--bench wants a frame count from 1 to 10000000, "
                      "not \"" +
                          std::string(text) + "\"");
        bench = int(value);
      }
    } else if (arg == "--trace") {
      trace = true;
    } else if (arg == "--window") {
      window = true;
    } else if (arg.rfind("--", 0) == 0) {
      return Fail(1, "unknown option " + arg + "\n" + usage);
    } else if (!plugin) {
      plugin = argv[i];
    } else if (!folder) {
      folder = argv[i];
    } else {
      return Fail(1, "too many arguments\n" + std::string(usage));
    }
  }
  if (ImageKind(out).empty())
    return Fail(1, "--out wants a name ending in .bmp or .png, not \"" +
                       std::string(out) + "\"");
  if (!plugin || !folder)
    return Fail(
        1, "a plug-in and a stage folder are needed\n" + std::string(usage));
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(4, "no stage folder " + std::string(folder));

  traceLine = trace ? PrintTrace : nullptr;
  std::string error;
  int opened = OpenStage(plugin, folder, error);
  if (opened) return Fail(opened, error);

  std::vector<std::unique_ptr<Frame>> frames;
  int status = 0;
  if (window) {
    frames.emplace_back(new Frame);
    RunWindow(plugin, folder, frames[0].get());
  } else if (bench) {
    frames.emplace_back(new Frame);
    LARGE_INTEGER start, end, rate;
    QueryPerformanceFrequency(&rate);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < bench; ++i) RenderFrame(camera, *frames[0]);
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / rate.QuadPart;
    printf("stageview: %d frames in %.3f s: %.1f frames per second\n", bench,
           seconds, bench / seconds);
  } else {
    int count = pan ? pan : 1;
    std::vector<Frame *> strip;
    for (int i = 0; i < count; ++i) {
      double at = pan ? -1.0 + 2.0 * i / (count - 1) : camera;
      frames.emplace_back(new Frame);
      RenderFrame(at, *frames.back());
      strip.push_back(frames.back().get());
      if (i == 0)
        for (const std::string &line : DescribeLayers(at))
          printf("stageview: %s\n", line.c_str());
    }
    std::string why;
    bool written = WriteFrames(out, strip, why);
    if (!written)
      status = Fail(6, "cannot write " + std::string(out) +
                           (why.empty() ? "" : ": " + why));
    else
      printf("stageview: wrote %s (%d frame%s)\n", out, count,
             count > 1 ? "s" : "");
  }
  std::vector<std::string> problems = CloseStage();
  for (const std::string &p : problems) Fail(5, "host contract: " + p);
  if (!problems.empty() && !status) status = 5;
  return status;
}
