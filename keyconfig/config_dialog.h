// The modal dialog "KEY CONFIG": both players' keys and pad buttons.
#pragma once

#include <windows.h>

// The dialog's handle: set at WM_INITDIALOG, never cleared. The capture
// window uses it as its owner and invalidates it when a capture ends.
extern HWND dialogWindow;

// Dialog procedure for resource 101.
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam);

// Runs the dialog modally over the desktop window: 1 (OK), 2 (Cancel) or -1
// (not created). Through the Unicode call, so that the template's UTF-16
// texts reach the controls whatever the system's code page.
INT_PTR RunConfigDialog(HINSTANCE instance);

// Converts `length` CP932 bytes into UTF-16 for display: at most `size` - 1
// units into `text`, then a terminator. The number of units before it.
int DisplayText(const char *bytes, int length, wchar_t *text, int size);

// Acts on the control identifier in the low word of `wParam`: 1 when the
// command was acted on (OK, Cancel, a "変更" button), 0 otherwise.
int OnDialogCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Rewrites the 16 key labels from KeyConfig; with a non-zero `flag` also
// checks the radio of every pad value that lies in 0-7.
void RefreshDialog(int flag);

// Copies the checked radios into the 8 pad slots of KeyConfig; in a group
// with several checked radios the highest value wins, with none the slot
// keeps its value.
void CommitPadChoices();

// Centres a top-level window on the desktop, raises, shows and activates
// it, keeping its size. Always 0.
int CenterWindow(HWND window);

void SetRadio(int id);
bool IsRadioChecked(int id);
