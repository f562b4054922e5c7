// The dialog procedure of "KEY CONFIG". Until the dialog's template and
// controls exist, it handles nothing: the dialog manager's defaults apply.
#include "config_dialog.h"

INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
