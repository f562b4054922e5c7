// The dialog procedure of "KEY CONFIG" and the control map that ties its
// controls to the slots of KeyConfig.
//
// The dialog keeps no copy of the record: label boxes are rewritten from it
// at every paint and, while no capture is running, at every activation
// change; radios are read back into it only on OK.
#include "config_dialog.h"

#include <stdint.h>

#include "capture_window.h"
#include "key_config.h"
#include "key_labels.h"

HWND dialogWindow;

namespace {

// Posted to the dialog when it was activated during a capture.
const UINT WM_HAND_BACK_ACTIVATION = WM_APP + 1;
bool handBackPending;

// The key-row table: for each keyboard entry, each player's label box and
// "変更" button. Player 2's keyC and keyD do not continue the numbering of
// the rows above them.
struct KeyRow {
  KeyEntry *entry;
  int player1Box, player1Change, player2Box, player2Change;
};

// clang-format off
const KeyRow keyRows[8] = {
    // entry            P1 box  P1 変更  P2 box  P2 変更
    {&KeyConfig.up,     1000,   1008,    1010,   1032},
    {&KeyConfig.down,   1001,   1016,    1011,   1033},
    {&KeyConfig.left,   1002,   1017,    1012,   1034},
    {&KeyConfig.right,  1003,   1018,    1013,   1035},
    {&KeyConfig.keyA,   1004,   1019,    1014,   1036},
    {&KeyConfig.keyB,   1005,   1020,    1015,   1037},
    {&KeyConfig.keyC,   1006,   1021,    1030,   1062},
    {&KeyConfig.keyD,   1007,   1022,    1031,   1063},
};

// The pad-group table: for each pad entry, each player's radios for the
// values 0 ("button1") to 7.
struct PadGroup {
  KeyEntry *entry;
  int player1Radios[8], player2Radios[8];
};

const PadGroup padGroups[4] = {
    {&KeyConfig.padA,
     {1009, 1023, 1024, 1025, 1026, 1027, 1028, 1029},
     {1064, 1065, 1066, 1067, 1068, 1069, 1070, 1071}},
    {&KeyConfig.padB,
     {1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045},
     {1072, 1073, 1074, 1075, 1076, 1077, 1078, 1079}},
    {&KeyConfig.padC,
     {1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053},
     {1080, 1081, 1082, 1083, 1084, 1085, 1086, 1087}},
    {&KeyConfig.padD,
     {1054, 1055, 1056, 1057, 1058, 1059, 1060, 1061},
     {1088, 1089, 1090, 1091, 1092, 1093, 1094, 1095}},
};
// clang-format on

int32_t *PlayerSlot(KeyEntry *entry, int player) {
  return player == 1 ? &entry->player1 : &entry->player2;
}

const int *PlayerRadios(const PadGroup &group, int player) {
  return player == 1 ? group.player1Radios : group.player2Radios;
}

}  // namespace

void SetRadio(int id) {
  SendMessageA(GetDlgItem(dialogWindow, id), BM_SETCHECK, BST_CHECKED, 0);
}

bool IsRadioChecked(int id) {
  return SendMessageA(GetDlgItem(dialogWindow, id), BM_GETCHECK, 0, 0) ==
         BST_CHECKED;
}

// Both walk the tables player 1 first, then player 2.
void RefreshDialog(int flag) {
  char label[256];
  for (int player = 1; player <= 2; ++player)
    for (const KeyRow &row : keyRows)
      SetDlgItemTextA(dialogWindow,
                      player == 1 ? row.player1Box : row.player2Box,
                      GetKeyLabel(*PlayerSlot(row.entry, player), label));
  if (!flag) return;
  // Only checks: at WM_INITDIALOG every radio starts unchecked, so a value
  // outside 0-7 leaves its whole group unchecked.
  for (int player = 1; player <= 2; ++player)
    for (const PadGroup &group : padGroups)
      for (int value = 0; value < 8; ++value)
        if (*PlayerSlot(group.entry, player) == value)
          SetRadio(PlayerRadios(group, player)[value]);
}

void CommitPadChoices() {
  for (int player = 1; player <= 2; ++player)
    for (const PadGroup &group : padGroups)
      for (int value = 0; value < 8; ++value)
        if (IsRadioChecked(PlayerRadios(group, player)[value]))
          *PlayerSlot(group.entry, player) = value;
}

int CenterWindow(HWND window) {
  RECT desktop, rect;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  // Signed division truncates toward zero: a window wider than the
  // desktop gets x = -1, not -2, for a width one more than odd.
  int x = (desktop.right - width) / 2;
  int y = (desktop.bottom - height) / 2;
  // No SWP_NOZORDER or SWP_NOACTIVATE: the window is raised and activated.
  SetWindowPos(window, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
  return 0;
}

int OnDialogCommand(HWND dialog, UINT, WPARAM wParam, LPARAM) {
  int id = LOWORD(wParam);
  if (id == IDOK) {
    CommitPadChoices();
    EndDialog(dialog, 1);
    return 1;
  }
  if (id == IDCANCEL) {  // the button, Esc and the close box
    EndDialog(dialog, 2);
    return 1;
  }
  for (const KeyRow &row : keyRows) {
    if (id == row.player1Change || id == row.player2Change) {
      BeginKeyCapture(PlayerSlot(row.entry, id == row.player1Change ? 1 : 2));
      return 1;
    }
  }
  // Label boxes and radios: the dialog manager handles them by itself.
  return 0;
}

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // CenterWindow shows and activates the dialog, and the WM_ACTIVATE
      // that arrives inside it already refreshes through dialogWindow.
      dialogWindow = window;
      CenterWindow(window);
      RefreshDialog(1);
      return TRUE;
    case WM_ACTIVATE:
      if (captureWindow) {
        // Keyboard input must keep going to the capture window. The hand-
        // back waits until the input that activated the dialog has been
        // handled: under Wine a click activates the dialog again after a
        // hand-back made inside WM_ACTIVATE (the clicked control takes the
        // focus), and a deactivation answered with another hand-back
        // re-enters activation without end. So a deactivation is left
        // alone, and any number of activations by one input event give
        // one hand-back.
        if (LOWORD(wParam) != WA_INACTIVE && !handBackPending) {
          handBackPending = true;
          PostMessageA(window, WM_HAND_BACK_ACTIVATION, 0, 0);
        }
        return TRUE;
      }
      RefreshDialog(0);
      return FALSE;
    case WM_HAND_BACK_ACTIVATION:
      handBackPending = false;
      // Still capturing, and the dialog still the active window (not, say,
      // another program's window by now).
      if (captureWindow && GetActiveWindow() == window) {
        SetActiveWindow(captureWindow);
        OutputDebugStringA("main dialog : アクティブになった\n");
      }
      return TRUE;
    case WM_PAINT: {
      RefreshDialog(0);
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return TRUE;
    }
    case WM_COMMAND:
      return OnDialogCommand(window, WM_COMMAND, wParam, lParam);
    default:
      return FALSE;
  }
}
