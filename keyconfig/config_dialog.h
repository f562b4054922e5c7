// The modal dialog "KEY CONFIG": both players' keys and pad buttons.
#pragma once

#include <windows.h>

// Dialog procedure for resource 101; WinMain passes it to DialogBoxParamA.
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam);
