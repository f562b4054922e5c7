// The key capture window. It is an owned top-level window, not a child of
// the dialog, so the dialog manager never sees its keys: Enter, Esc and Tab
// reach it as plain WM_KEYDOWN and are captured like any other key.
//
// Its title and prompt are CP932 bytes, converted to UTF-16 only to be
// shown, so that they read right whatever the system's code page.
#include "capture_window.h"

#include "config_dialog.h"

HWND captureWindow;
int32_t *captureTarget;

namespace {

const wchar_t captureClassName[] = L"child";
const char captureTitle[] = "キーボード設定";
// The prompt: these 41 CP932 bytes, converted only to be drawn.
const char capturePrompt[] = "設定したいキーを押してください(*ﾟーﾟ)⊃゛";
const int capturePromptLength = 41;
static_assert(sizeof capturePrompt == capturePromptLength + 1,
              "the prompt is 41 bytes in code page 932");

// Faces tried for the prompt, at the dialog font's size, when neither the
// window's own font nor the dialog's has all of its glyphs: Japanese UI
// fonts of Windows, then free ones that Wine finds on Linux.
const wchar_t *const promptFaces[] = {
    L"Yu Gothic UI",       L"Meiryo UI",  L"MS UI Gothic",
    L"MS PGothic",         L"IPAPGothic", L"Noto Sans CJK JP",
    L"Source Han Sans JP", L"VL PGothic", L"Droid Sans Fallback"};
const int promptFaceCount = sizeof promptFaces / sizeof promptFaces[0];
// Created the first time they are tried, kept for the program's life.
HFONT promptFaceFonts[promptFaceCount];

// The window's outer size and the prompt's left edge at 96 dpi, in pixels:
// a client area of 394 x 25 under the caption, the prompt at (50, 0).
const int captureWidth = 400, captureHeight = 50, captureClientWidth = 394,
          captureClientHeight = 25, capturePromptLeft = 50;
// Where the open window draws the prompt: set when it is created.
int promptLeft = capturePromptLeft;

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

// Whether the font selected into `dc` has a glyph of its own for each of
// the `length` characters of `text` (at most 64).
bool FontHasGlyphs(HDC dc, const wchar_t *text, int length) {
  WORD glyphs[64];
  if (length > 64 ||
      GetGlyphIndicesW(dc, text, length, glyphs, GGI_MARK_NONEXISTING_GLYPHS) !=
          static_cast<DWORD>(length))
    return false;
  for (int i = 0; i < length; ++i)
    if (glyphs[i] == 0xFFFF) return false;
  return true;
}

int Max(int a, int b) { return a > b ? a : b; }

// The window's outer size for the display's dpi. At 96 dpi it is the one
// the window has always had. Elsewhere the caption and the default font
// grow with the dpi while a size in pixels does not, and the prompt lost
// its lower half at 150 %: the client area then gets the 96-dpi room scaled
// with the dpi, and more if the prompt, as it will be drawn, needs it (with
// a few pixels for a last glyph that reaches past its advance).
SIZE CaptureWindowSize(const wchar_t *prompt, int length) {
  SIZE size = {captureWidth, captureHeight};
  HDC dc = CreateCompatibleDC(NULL);  // the window DC's default font
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  promptLeft = MulDiv(capturePromptLeft, dpi, 96);
  if (dpi != 96) {
    HGDIOBJ original = SelectPromptFont(dc, prompt, length);
    SIZE text = {0, 0};
    GetTextExtentPoint32W(dc, prompt, length, &text);
    if (original) SelectObject(dc, original);
    RECT frame = {0, 0,
                  Max(MulDiv(captureClientWidth, dpi, 96),
                      promptLeft + text.cx + MulDiv(8, dpi, 96)),
                  Max(MulDiv(captureClientHeight, dpi, 96), text.cy)};
    // Style 0 gets a caption and a border, as WS_CAPTION describes.
    AdjustWindowRectEx(&frame, WS_CAPTION, FALSE, 0);
    size.cx = frame.right - frame.left;
    size.cy = frame.bottom - frame.top;
  }
  DeleteDC(dc);
  return size;
}

}  // namespace

// The font is asked, not the system's language: on a Japanese system the
// DC's own font has the glyphs and the prompt looks exactly as it always
// has.
HGDIOBJ SelectPromptFont(HDC dc, const wchar_t *prompt, int length) {
  if (FontHasGlyphs(dc, prompt, length)) return NULL;
  HFONT dialogFont =
      reinterpret_cast<HFONT>(SendMessageW(dialogWindow, WM_GETFONT, 0, 0));
  if (!dialogFont)
    dialogFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HGDIOBJ original = SelectObject(dc, dialogFont);
  if (FontHasGlyphs(dc, prompt, length)) return original;
  LOGFONTW face;
  if (GetObjectW(dialogFont, sizeof face, &face) == sizeof face) {
    face.lfCharSet = DEFAULT_CHARSET;
    for (int i = 0; i < promptFaceCount; ++i) {
      if (!promptFaceFonts[i]) {
        lstrcpynW(face.lfFaceName, promptFaces[i], LF_FACESIZE);
        promptFaceFonts[i] = CreateFontIndirectW(&face);
      }
      if (!promptFaceFonts[i]) continue;
      SelectObject(dc, promptFaceFonts[i]);
      if (FontHasGlyphs(dc, prompt, length)) return original;
    }
  }
  // None has them all: the dialog's font, which the system draws its own
  // texts with.
  SelectObject(dc, dialogFont);
  return original;
}

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
  WNDCLASSEXW windowClass;
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_CLASSDC;
  windowClass.lpfnWndProc = CaptureWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.hIcon = NULL;
  windowClass.hCursor = NULL;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = NULL;
  windowClass.lpszClassName = captureClassName;
  windowClass.hIconSm = NULL;
  RegisterClassExW(&windowClass);  // fails harmlessly once registered

  wchar_t title[32];
  DisplayText(captureTitle, sizeof captureTitle - 1, title, 32);
  wchar_t prompt[64];
  SIZE size = CaptureWindowSize(
      prompt, DisplayText(capturePrompt, capturePromptLength, prompt, 64));

  // No WS_CHILD: the dialog becomes the owner, so the window stays above
  // it and goes away with it. Style 0 gives a caption and a border only.
  HWND capture =
      CreateWindowExW(0, captureClassName, title, 0, 5, 5, size.cx, size.cy,
                      window, NULL, windowClass.hInstance, NULL);
  ShowWindow(capture, SW_SHOWNORMAL);
  return capture;
}

LRESULT CALLBACK CaptureWindowProc(HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CenterWindow(window);
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_PAINT: {
      wchar_t prompt[64];
      int length = DisplayText(capturePrompt, capturePromptLength, prompt, 64);
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      HGDIOBJ original = SelectPromptFont(dc, prompt, length);
      TextOutW(dc, promptLeft, 0, prompt, length);
      // The class DC keeps what is selected into it: leave it as found.
      if (original) SelectObject(dc, original);
      EndPaint(window, &paint);
      return DefWindowProcW(window, message, wParam, lParam);
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
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
