// The live window and its key reading (live_window.h).
#include "live_window.h"

#include <stdio.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "bitmap_file.h"
#include "key_config.h"
#include "pan_strip.h"
#include "stage_host.h"

namespace {

struct LiveView {
  LiveStage stage;
  Frame *frame;
  View view;
  double low, high;  // camera limits along x
  CameraKeys keys;
  HANDLE folderChanges;  // signalled when a file in the folder changes
};

// The eye moves up and down by as much as the camera moves sideways.
const double kEyeLimit = 1.0;

void ShowCameraInTitle(HWND window, const LiveView &live) {
  char title[512];
  bool edge = live.view.x <= live.low || live.view.x >= live.high;
  snprintf(title, sizeof title, "stageview - %s - camera %+.2f%s, eye %+.2f",
           live.stage.plugin, live.view.x, edge ? " (edge)" : "", live.view.y);
  SetWindowTextA(window, title);
}

// Releases and unloads the stage, then loads it afresh: changed bitmaps
// (and a rebuilt plug-in) are picked up, and the framing fitted again.
void ReloadStage(HWND window, LiveView &live) {
  for (const std::string &problem : CloseStage())
    live.stage.report("host contract: " + problem);
  std::string error;
  if (OpenStage(live.stage.plugin, live.stage.folder, error)) {
    live.stage.report(error);
    DestroyWindow(window);
    return;
  }
  double x = live.view.x, y = live.view.y;
  FrameRequests layers;
  live.view = FitToStage(live.stage.eyeHeight, *live.frame, layers);
  PanRange(layers, live.view, &live.low, &live.high);
  live.view.x = std::clamp(x, live.low, live.high);
  live.view.y = y;
  ShowCameraInTitle(window, live);
  printf("stageview: reloaded %s\n", live.stage.folder);
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
  moved.y = std::clamp(moved.y, live.stage.eyeHeight - kEyeLimit,
                       live.stage.eyeHeight + kEyeLimit);
  if (moved.x == live.view.x && moved.y == live.view.y) return false;
  live.view = moved;
  return true;
}

// Each tick: a reload when the folder changed, a camera step, a new frame.
void OnTick(HWND window, LiveView &live) {
  if (live.folderChanges &&
      WaitForSingleObject(live.folderChanges, 0) == WAIT_OBJECT_0) {
    FindNextChangeNotification(live.folderChanges);
    Sleep(100);  // let the writer finish the file
    ReloadStage(window, live);
  }
  if (MoveCamera(live)) ShowCameraInTitle(window, live);
  RenderFrame(live.view, *live.frame);
  InvalidateRect(window, NULL, FALSE);
}

void OnPaint(HWND window, const LiveView &live) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  BITMAPINFO info = TopDownBitmapInfo(kFrameWidth, kFrameHeight);
  SetDIBitsToDevice(dc, 0, 0, kFrameWidth, kFrameHeight, 0, 0, 0, kFrameHeight,
                    live.frame->pixels, &info, DIB_RGB_COLORS);
  EndPaint(window, &paint);
}

LRESULT CALLBACK LiveWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  LiveView *live =
      reinterpret_cast<LiveView *>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER:
      OnTick(window, *live);
      return 0;
    case WM_PAINT:
      OnPaint(window, *live);
      return 0;
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

// A window whose client area is exactly one frame, showing `live`.
HWND CreateLiveWindow(LiveView &live) {
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
  return window;
}

}  // namespace

void ReadCameraKeys(CameraKeys *keys) {
  *keys = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
  HANDLE file = CreateFileA(".\\system\\config.dat", GENERIC_READ,
                            FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  KeyConfigRecord record;
  DWORD read = 0;
  if (ReadFile(file, &record, sizeof record, &read, NULL) &&
      read == sizeof record)
    *keys = {record.up.player1, record.down.player1, record.left.player1,
             record.right.player1};
  CloseHandle(file);
}

void RunWindow(const LiveStage &stage, const View &view,
               const FrameRequests &layers, Frame *frame) {
  LiveView live = {};
  live.stage = stage;
  live.frame = frame;
  live.view = view;
  PanRange(layers, view, &live.low, &live.high);
  live.view.x = std::clamp(view.x, live.low, live.high);
  HANDLE changes = FindFirstChangeNotificationA(
      stage.folder, FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (changes != INVALID_HANDLE_VALUE) live.folderChanges = changes;
  ReadCameraKeys(&live.keys);
  HWND window = CreateLiveWindow(live);
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
