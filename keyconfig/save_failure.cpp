// The message a player gets when the keys confirmed with "これでよしと"
// cannot be saved. Without it the program ended as if all went well and
// the edits were lost unseen; now it says why and where, and saves again
// when asked, for instance once the player has made the missing folder.
//
// The texts are CP932 bytes like every other text of the program, shown
// through the W calls; the buttons are named in Japanese whatever the
// system's language.
#include "save_failure.h"

#include <windows.h>

#include "config_dialog.h"
#include "key_config.h"

namespace {

const char saveCaption[] = "keyconfig";
const char notSaved[] = "キー設定を保存できませんでした。\n";
const char savedTo[] = "\n保存先: ";
const char causeIs[] = "\n\n考えられる原因: ";
const char whatNext[] =
    "\n\n「再試行」でもう一度保存します (原因を直してから)。\n"
    "「キャンセル」で保存せずに終わります。";

// By LikelySaveFailure's number: the cause in Japanese, then the English
// line.
struct Cause {
  const char *japanese, *english;
};
const Cause causes[3] = {
    {"keyconfig を起動したフォルダーの下に system フォルダーがありません。",
     "The keys were not saved: no system folder below the folder keyconfig "
     "was started in.\n"},
    {"ファイルが読み取り専用か、ほかのプログラムが使っています。",
     "The keys were not saved: the file is read-only or in use.\n"},
    {"ディスクがいっぱいか、書き込みが拒まれました。",
     "The keys were not saved: the disk is full or the write was refused.\n"},
};

// The message box's buttons, named by the hook below.
const char retryText[] = "再試行(&R)";
const char cancelText[] = "キャンセル";

HHOOK buttonHook;

// Appends CP932 `bytes` as UTF-16 to the text of `used` units in `text`.
int Append(wchar_t *text, int used, int size, const char *bytes) {
  return used + DisplayText(bytes, lstrlenA(bytes), text + used, size - used);
}

void NameButton(HWND box, int id, const char *bytes) {
  wchar_t text[32];
  DisplayText(bytes, lstrlenA(bytes), text, 32);
  SetDlgItemTextW(box, id, text);
}

// The system names a message box's buttons in its own language; this
// thread's hook renames them as the box becomes active.
LRESULT CALLBACK NameButtons(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    NameButton(box, IDRETRY, retryText);
    NameButton(box, IDCANCEL, cancelText);
  }
  return CallNextHookEx(buttonHook, code, wParam, lParam);
}

// Shows the failure; IDRETRY or IDCANCEL.
int AskAfterFailedSave() {
  wchar_t relative[MAX_PATH], path[MAX_PATH];
  DisplayText(configPath, lstrlenA(configPath), relative, MAX_PATH);
  if (!GetFullPathNameW(relative, MAX_PATH, path, NULL))
    lstrcpynW(path, relative, MAX_PATH);
  const Cause &cause = causes[LikelySaveFailure()];

  wchar_t message[1024];
  int used = Append(message, 0, 1024, notSaved);
  used = Append(message, used, 1024, cause.english);
  used = Append(message, used, 1024, savedTo);
  lstrcpynW(message + used, path, 1024 - used);
  used = lstrlenW(message);
  used = Append(message, used, 1024, causeIs);
  used = Append(message, used, 1024, cause.japanese);
  Append(message, used, 1024, whatNext);
  wchar_t caption[32];
  DisplayText(saveCaption, lstrlenA(saveCaption), caption, 32);

  buttonHook =
      SetWindowsHookExW(WH_CBT, NameButtons, NULL, GetCurrentThreadId());
  // No owner: the dialog has ended; the box stands over the desktop.
  int answer = MessageBoxW(
      NULL, message, caption,
      MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
  if (buttonHook) UnhookWindowsHookEx(buttonHook);
  buttonHook = NULL;
  return answer;
}

}  // namespace

int LikelySaveFailure() {
  DWORD folder = GetFileAttributesW(L".\\system");
  if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  wchar_t path[MAX_PATH];
  DisplayText(configPath, lstrlenA(configPath), path, MAX_PATH);
  DWORD file = GetFileAttributesW(path);
  if (file == INVALID_FILE_ATTRIBUTES) return 2;  // the folder refused it
  if (file & FILE_ATTRIBUTE_READONLY) return 1;
  // Opening changes nothing in the file; another program's open handle
  // without sharing, or a denied access, makes it fail.
  HANDLE handle = CreateFileW(path, GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(handle);
  return 2;
}

int SaveConfirmedConfig() {
  while (!SaveConfig())
    if (AskAfterFailedSave() != IDRETRY) return 0;
  return 1;
}
