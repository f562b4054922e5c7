// The window "キーボード設定" that takes one key press for a slot of the
// key record.
#pragma once

#include <stdint.h>
#include <windows.h>

// The open capture window, or none. Set after the window exists, cleared
// first thing when it closes, so that the dialog's re-entrant WM_ACTIVATE
// sees no capture while the window is being created or destroyed.
extern HWND captureWindow;
// The KeyConfig slot that the next key press is written to. Never cleared.
extern int32_t *captureTarget;

// Opens the capture window for `slot` (an int32 of KeyConfig). While a
// capture window is already open the request is refused: that window keeps
// its slot and gets activation back. Always 0.
int BeginKeyCapture(int32_t *slot);

// Registers the class "child" (a failure, as from the second time on, is
// ignored) and creates the capture window owned by `window`, centred and
// shown. The new window, or NULL.
HWND CreateCaptureWindow(HWND window);

LRESULT CALLBACK CaptureWindowProc(HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam);

// Leaves selected into `dc` a font that has the glyphs of `prompt`:
// the DC's own if it has them (and then returns NULL), else the dialog's,
// else the first of a list of Japanese faces that has them, else the
// dialog's. Returns the font it replaced, to be selected back.
HGDIOBJ SelectPromptFont(HDC dc, const wchar_t *prompt, int length);
