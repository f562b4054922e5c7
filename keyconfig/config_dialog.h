// The modal dialog "KEY CONFIG": both players' keys and pad buttons.
#pragma once

#include <windows.h>

// The dialog's handle: set at WM_INITDIALOG, never cleared. The capture
// window uses it as its owner and invalidates it when a capture ends.
extern HWND dialogWindow;

// Dialog procedure for resource 101; WinMain passes it to DialogBoxParamA.
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam);

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
