// The key capture window. It is an owned top-level window, not a child of
// the dialog, so the dialog manager never sees its keys: Enter, Esc and Tab
// reach it as plain WM_KEYDOWN and are captured like any other key.
#include "capture_window.h"

#include "config_dialog.h"

HWND captureWindow;
int32_t *captureTarget;

namespace {

const char captureClassName[] = "child";
const char captureTitle[] = "キーボード設定";
// The prompt is drawn as exactly these CP932 bytes.
const char capturePrompt[] = "設定したいキーを押してください(*ﾟーﾟ)⊃゛";
const int capturePromptLength = 41;
static_assert(sizeof capturePrompt == capturePromptLength + 1,
              "the prompt is 41 bytes in code page 932");

// Runs when a capture ends, whichever way. captureWindow is cleared first:
// destroying the window activates the dialog, whose WM_ACTIVATE must then
// refresh its labels instead of handing activation back. The repaint of
// the dialog shows the stored key.
LRESULT CloseCapture(HWND window, bool destroy) {
  captureWindow = NULL;
  if (destroy) DestroyWindow(window);
  InvalidateRect(dialogWindow, NULL, TRUE);
  return 0;
}

}  // namespace

int BeginKeyCapture(int32_t *slot) {
  if (captureWindow) {
    // One capture at a time: a "変更" click that slips through while the
    // window is open must not retarget it or open a second one.
    SetActiveWindow(captureWindow);
    return 0;
  }
  captureWindow = CreateCaptureWindow(dialogWindow);
  // Only now: the window has been created and shown.
  captureTarget = slot;
  return 0;
}

HWND CreateCaptureWindow(HWND window) {
  WNDCLASSEXA windowClass;
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_CLASSDC;
  windowClass.lpfnWndProc = CaptureWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = GetModuleHandleA(NULL);
  windowClass.hIcon = NULL;
  windowClass.hCursor = NULL;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = NULL;
  windowClass.lpszClassName = captureClassName;
  windowClass.hIconSm = NULL;
  RegisterClassExA(&windowClass);  // fails harmlessly once registered

  // No WS_CHILD: the dialog becomes the owner, so the window stays above
  // it and goes away with it. Style 0 gives a caption and a border only.
  HWND capture =
      CreateWindowExA(0, captureClassName, captureTitle, 0, 5, 5, 400, 50,
                      window, NULL, windowClass.hInstance, NULL);
  ShowWindow(capture, SW_SHOWNORMAL);
  return capture;
}

LRESULT CALLBACK CaptureWindowProc(HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CenterWindow(window);
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      TextOutA(dc, 50, 0, capturePrompt, capturePromptLength);
      EndPaint(window, &paint);
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_KEYDOWN:
      // Alt combinations arrive as WM_SYSKEYDOWN and are not captured.
      *captureTarget = static_cast<int32_t>(wParam);
      return CloseCapture(window, true);
    case WM_CLOSE:
      return CloseCapture(window, true);
    case WM_DESTROY:  // already being destroyed
      return CloseCapture(window, false);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
