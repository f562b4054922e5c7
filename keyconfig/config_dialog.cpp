// The dialog procedure of "KEY CONFIG" and the control map that ties its
// controls to the slots of KeyConfig.
//
// The dialog keeps no copy of the record: label boxes are rewritten from it
// at every paint and, while no capture is running, at every activation
// change; radios are read back into it only on OK.
#include "config_dialog.h"

#include <stdint.h>
#include <string.h>

#include "capture_window.h"
#include "key_config.h"
#include "key_labels.h"
#include "resource_ids.h"
#include "text_fit.h"

HWND dialogWindow;

namespace {

// Posted to the dialog when it was activated during a capture.
const UINT WM_HAND_BACK_ACTIVATION = WM_APP + 1;
bool handBackPending;

// The key-row table: for each keyboard entry, each player's label box and
// "変更" button, indexed by player (0: player 1, 1: player 2) as in the
// tests' map (tests/dialog_controls.h). Player 2's keyC and keyD do not
// continue the numbering of the rows above them.
struct KeyRow {
  KeyEntry *entry;
  int box[2], change[2];
};

// clang-format off
const KeyRow keyRows[8] = {
    // entry            boxes         "変更"
    {&KeyConfig.up,     {1000, 1010}, {1008, 1032}},
    {&KeyConfig.down,   {1001, 1011}, {1016, 1033}},
    {&KeyConfig.left,   {1002, 1012}, {1017, 1034}},
    {&KeyConfig.right,  {1003, 1013}, {1018, 1035}},
    {&KeyConfig.keyA,   {1004, 1014}, {1019, 1036}},
    {&KeyConfig.keyB,   {1005, 1015}, {1020, 1037}},
    {&KeyConfig.keyC,   {1006, 1030}, {1021, 1062}},
    {&KeyConfig.keyD,   {1007, 1031}, {1022, 1063}},
};

// The pad-group table: for each pad entry, each player's radios for the
// values 0 ("button1") to 7, indexed [player][value].
struct PadGroup {
  KeyEntry *entry;
  int radios[2][8];
};

const PadGroup padGroups[4] = {
    {&KeyConfig.padA,
     {{1009, 1023, 1024, 1025, 1026, 1027, 1028, 1029},
      {1064, 1065, 1066, 1067, 1068, 1069, 1070, 1071}}},
    {&KeyConfig.padB,
     {{1038, 1039, 1040, 1041, 1042, 1043, 1044, 1045},
      {1072, 1073, 1074, 1075, 1076, 1077, 1078, 1079}}},
    {&KeyConfig.padC,
     {{1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053},
      {1080, 1081, 1082, 1083, 1084, 1085, 1086, 1087}}},
    {&KeyConfig.padD,
     {{1054, 1055, 1056, 1057, 1058, 1059, 1060, 1061},
      {1088, 1089, 1090, 1091, 1092, 1093, 1094, 1095}}},
};

// Each player's slot of an entry, by the same index.
int32_t KeyEntry::*const playerSlots[2] = {&KeyEntry::player1,
                                           &KeyEntry::player2};
// clang-format on

int32_t *PlayerSlot(KeyEntry *entry, int player) {
  return &(entry->*playerSlots[player]);
}

}  // namespace

void SetRadio(int id) {
  SendMessageA(GetDlgItem(dialogWindow, id), BM_SETCHECK, BST_CHECKED, 0);
}

bool IsRadioChecked(int id) {
  return SendMessageA(GetDlgItem(dialogWindow, id), BM_GETCHECK, 0, 0) ==
         BST_CHECKED;
}

int DisplayText(const char *bytes, int length, wchar_t *text, int size) {
  // Code page 932 by name, not the system's: the texts are Shift-JIS bytes
  // on every system.
  int units = length > 0
                  ? MultiByteToWideChar(932, 0, bytes, length, text, size - 1)
                  : 0;
  text[units] = L'\0';
  return units;
}

// Both walk the tables player 1 first, then player 2. The labels stay CP932
// bytes up to here and are converted only to be shown.
void RefreshDialog(int flag) {
  char label[256];
  wchar_t text[256];
  for (int player = 0; player < 2; ++player)
    for (const KeyRow &row : keyRows) {
      GetKeyLabel(*PlayerSlot(row.entry, player), label);
      DisplayText(label, static_cast<int>(strlen(label)), text, 256);
      SetDlgItemTextW(dialogWindow, row.box[player], text);
    }
  if (!flag) return;
  // Only checks: at WM_INITDIALOG every radio starts unchecked, so a value
  // outside 0-7 leaves its whole group unchecked.
  for (int player = 0; player < 2; ++player)
    for (const PadGroup &group : padGroups)
      for (int value = 0; value < 8; ++value)
        if (*PlayerSlot(group.entry, player) == value)
          SetRadio(group.radios[player][value]);
}

void CommitPadChoices() {
  for (int player = 0; player < 2; ++player)
    for (const PadGroup &group : padGroups)
      for (int value = 0; value < 8; ++value)
        if (IsRadioChecked(group.radios[player][value]))
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

INT_PTR RunConfigDialog(HINSTANCE instance) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_KEY_CONFIG),
                         GetDesktopWindow(), ConfigDialogProc, 0);
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
  for (const KeyRow &row : keyRows)
    for (int player = 0; player < 2; ++player)
      if (id == row.change[player]) {
        BeginKeyCapture(PlayerSlot(row.entry, player));
        return 1;
      }
  // Label boxes and radios: the dialog manager handles them by itself.
  return 0;
}

namespace {

// CenterWindow shows and activates the dialog, and the WM_ACTIVATE that
// arrives inside it already refreshes through dialogWindow. The texts are
// fitted while the dialog is still hidden.
INT_PTR OnInitDialog(HWND window) {
  dialogWindow = window;
  FitDialogTexts(window);
  CenterWindow(window);
  RefreshDialog(1);
  return TRUE;
}

// While a capture runs, keyboard input must keep going to the capture
// window. The hand-back waits until the input that activated the dialog
// has been handled: under Wine a click activates the dialog again after a
// hand-back made inside WM_ACTIVATE (the clicked control takes the focus),
// and a deactivation answered with another hand-back re-enters activation
// without end. So a deactivation is left alone, and any number of
// activations by one input event give one hand-back.
INT_PTR OnActivate(HWND window, WPARAM wParam) {
  if (captureWindow) {
    if (LOWORD(wParam) != WA_INACTIVE && !handBackPending) {
      handBackPending = true;
      PostMessageA(window, WM_HAND_BACK_ACTIVATION, 0, 0);
    }
    return TRUE;
  }
  RefreshDialog(0);
  return FALSE;
}

// Only while still capturing, and with the dialog still the active window
// (not, say, another program's window by now).
INT_PTR HandBackActivation(HWND window) {
  handBackPending = false;
  if (captureWindow && GetActiveWindow() == window) {
    SetActiveWindow(captureWindow);
    OutputDebugStringA("main dialog : アクティブになった\n");
  }
  return TRUE;
}

INT_PTR OnPaint(HWND window) {
  RefreshDialog(0);
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  EndPaint(window, &paint);
  return TRUE;
}

}  // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(window);
    case WM_ACTIVATE:
      return OnActivate(window, wParam);
    case WM_HAND_BACK_ACTIVATION:
      return HandBackActivation(window);
    case WM_PAINT:
      return OnPaint(window);
    case WM_COMMAND:
      return OnDialogCommand(window, WM_COMMAND, wParam, lParam);
    default:
      return FALSE;
  }
}
