// Fits the dialog's texts to their controls when the dialog is created.
//
// The template's sizes were made for "ＭＳ Ｐゴシック" at 96 dpi. Glyph
// widths do not grow exactly with the dialog's base units, and a font
// standing in for that face has widths of its own, so at other display
// scales or with another font a text can be a few pixels wider than its
// control: a row label then wraps at its hyphen and shows "button-". The
// template stays as it is; only a control whose text does not fit is
// widened (or moved over), and only into room that no other control uses.
#include "text_fit.h"

#include <string.h>

#include "config_dialog.h"
#include "key_labels.h"

namespace {

enum TextKind { NoText, PlainText, PushText, RadioText, GroupText, LabelBox };

TextKind KindOf(HWND control) {
  wchar_t className[16] = L"";
  GetClassNameW(control, className, 16);
  if (lstrcmpiW(className, L"Static") == 0) return PlainText;
  if (lstrcmpiW(className, L"Edit") == 0) return LabelBox;
  if (lstrcmpiW(className, L"Button") != 0) return NoText;
  switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
      return PushText;
    case BS_GROUPBOX:
      return GroupText;
    default:  // radios and check boxes: a mark, then the text
      return RadioText;
  }
}

int Dpi(HDC dc) { return GetDeviceCaps(dc, LOGPIXELSX); }

SIZE Measure(HDC dc, const wchar_t *text, int length) {
  SIZE size = {0, 0};
  if (length > 0) GetTextExtentPoint32W(dc, text, length, &size);
  return size;
}

// A label box shows whatever key its slot holds: it must hold the widest
// label that GetKeyLabel gives (codes above 255 all give the fallback one).
SIZE WidestKeyLabel(HDC dc) {
  SIZE widest = {0, 0};
  char label[256];
  wchar_t text[256];
  for (int code = 0; code <= 256; ++code) {
    GetKeyLabel(code, label);
    int length = DisplayText(label, static_cast<int>(strlen(label)), text, 256);
    SIZE size = Measure(dc, text, length);
    if (size.cx > widest.cx) widest.cx = size.cx;
    if (size.cy > widest.cy) widest.cy = size.cy;
  }
  return widest;
}

// The control's rectangle in the dialog's client coordinates.
RECT RectIn(HWND dialog, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&rect), 2);
  return rect;
}

bool Inside(const RECT &inner, const RECT &outer) {
  return inner.left >= outer.left && inner.right <= outer.right &&
         inner.top >= outer.top && inner.bottom <= outer.bottom;
}

int Max(int a, int b) { return a > b ? a : b; }
int Min(int a, int b) { return a < b ? a : b; }

bool Shown(HWND control) {
  // Its own style: the dialog, still hidden, hides every control from
  // IsWindowVisible.
  return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Where `control` may spread: inside the smallest group box that holds it
// (off its frame), else the dialog's client area, and clear of every other
// control beside it (across) or above and below it (down).
RECT FreeRoom(HWND dialog, HWND control, const RECT &rect, bool across) {
  RECT room;
  GetClientRect(dialog, &room);
  const int frame = GetSystemMetrics(SM_CXEDGE) + 1;
  for (HWND box = GetWindow(dialog, GW_CHILD); box;
       box = GetWindow(box, GW_HWNDNEXT)) {
    if (box == control || !Shown(box) || KindOf(box) != GroupText) continue;
    RECT r = RectIn(dialog, box);
    RECT inner = {r.left + frame, r.top + frame, r.right - frame,
                  r.bottom - frame};
    if (Inside(rect, r) && Inside(inner, room)) room = inner;
  }
  for (HWND other = GetWindow(dialog, GW_CHILD); other;
       other = GetWindow(other, GW_HWNDNEXT)) {
    if (other == control || !Shown(other) || KindOf(other) == GroupText)
      continue;
    RECT r = RectIn(dialog, other);
    if (across && r.top < rect.bottom && r.bottom > rect.top) {
      if (r.right <= rect.left) room.left = Max(room.left, r.right + 1);
      if (r.left >= rect.right) room.right = Min(room.right, r.left - 1);
    } else if (!across && r.left < rect.right && r.right > rect.left) {
      if (r.bottom <= rect.top) room.top = Max(room.top, r.bottom + 1);
      if (r.top >= rect.bottom) room.bottom = Min(room.bottom, r.top - 1);
    }
  }
  return room;
}

// Grows [*low, *high) to `size` towards `limitHigh` first, then back
// towards `limitLow`; never shrinks it. Short of room it takes all there is.
void Spread(LONG *low, LONG *high, int size, int limitLow, int limitHigh) {
  if (*high - *low >= size) return;
  int start = *low;
  if (start + size > limitHigh) start = Max(limitLow, limitHigh - size);
  start = Min(start, static_cast<int>(*low));
  *high = Max(Min(limitHigh, start + size), static_cast<int>(*high));
  *low = start;
}

}  // namespace

SIZE TextRoom(HWND control) {
  HDC dc = GetDC(control);
  const int dpi = Dpi(dc);
  ReleaseDC(control, dc);
  SIZE room = {0, 0};
  switch (KindOf(control)) {
    case RadioText:
      room.cx = GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(4, dpi, 96);
      break;
    case PushText:
      room.cx = 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
      break;
    case GroupText:
      room.cx = MulDiv(8, dpi, 96);
      break;
    case LabelBox: {
      DWORD margins =
          static_cast<DWORD>(SendMessageW(control, EM_GETMARGINS, 0, 0));
      room.cx = LOWORD(margins) + HIWORD(margins);
      break;
    }
    default:
      break;
  }
  return room;
}

SIZE TextExtent(HWND control) {
  TextKind kind = KindOf(control);
  SIZE size = {0, 0};
  if (kind == NoText) return size;
  HDC dc = GetDC(control);
  HGDIOBJ font =
      reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ original = font ? SelectObject(dc, font) : NULL;
  if (kind == LabelBox) {
    size = WidestKeyLabel(dc);
  } else {
    wchar_t text[256] = L"";
    size = Measure(dc, text, GetWindowTextW(control, text, 256));
  }
  if (original) SelectObject(dc, original);
  ReleaseDC(control, dc);
  return size;
}

int FitDialogTexts(HWND dialog) {
  int changed = 0;
  for (HWND control = GetWindow(dialog, GW_CHILD); control;
       control = GetWindow(control, GW_HWNDNEXT)) {
    SIZE text = TextExtent(control);
    if (text.cx == 0) continue;
    SIZE room = TextRoom(control);
    RECT rect = RectIn(dialog, control), client;
    GetClientRect(control, &client);
    // The text has the client area; a border takes the rest.
    int width = text.cx + room.cx + (rect.right - rect.left) - client.right;
    // A group box's caption sits on its frame: only its width counts.
    int height =
        KindOf(control) == GroupText
            ? 0
            : text.cy + room.cy + (rect.bottom - rect.top) - client.bottom;
    if (rect.right - rect.left >= width && rect.bottom - rect.top >= height)
      continue;  // fits: the control stays exactly as the template has it
    RECT fitted = rect;
    RECT free = FreeRoom(dialog, control, fitted, true);
    Spread(&fitted.left, &fitted.right, width, free.left, free.right);
    free = FreeRoom(dialog, control, fitted, false);
    Spread(&fitted.top, &fitted.bottom, height, free.top, free.bottom);
    SetWindowPos(control, NULL, fitted.left, fitted.top,
                 fitted.right - fitted.left, fitted.bottom - fitted.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ++changed;
  }
  return changed;
}
