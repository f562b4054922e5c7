// The message a player gets when the confirmed keys cannot be saved, on the
// real message box: the save runs in this process, in a prepared folder,
// while a thread timer inside the box's modal loop plays the player's part
// with real input (SendInput) and reads what the box shows.
#include "save_failure.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "debug_lines.h"
#include "key_config.h"
#include "keyconfig_test_data.h"
#include "real_input.h"
#include "test_files.h"
#include "test_pace.h"

namespace {

using Step = std::function<bool()>;  // true: done, go on to the next

std::vector<Step> *steps;
size_t stepNow;
int ticksInStep;

// A step that has waited too long fails and lets the rest of the case go
// on: the box still needs an answer for the save to end.
void CALLBACK PlayStep(HWND, UINT, UINT_PTR, DWORD) {
  if (stepNow >= steps->size()) return;
  if ((*steps)[stepNow]() || ++ticksInStep > 500 * int(TestPace())) {
    EXPECT_LE(ticksInStep, 500 * int(TestPace())) << "step " << stepNow;
    ++stepNow;
    ticksInStep = 0;
  }
}

struct SaveRun {
  int result;
  size_t stepsRun;
  std::vector<std::string> lines;
};

// SaveConfirmedConfig in `folder`, the steps answering its message boxes.
SaveRun RunSave(const std::string &folder, std::vector<Step> played) {
  CurrentFolder current(folder);
  steps = &played;
  stepNow = 0;
  ticksInStep = 0;
  debugLines.clear();
  void *recorder = AddVectoredExceptionHandler(1, RecordDebugLine);
  UINT_PTR timer = SetTimer(NULL, 0, 20, PlayStep);
  int result = SaveConfirmedConfig();
  KillTimer(NULL, timer);
  RemoveVectoredExceptionHandler(recorder);
  return {result, stepNow, debugLines};
}

HWND box;  // the message box the steps work on

std::wstring Text(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

// Waits for the message box to be up and active on this thread.
Step BoxShown() {
  return [] {
    box = FindWindowW(L"#32770", L"keyconfig");
    return box && GetActiveWindow() == box && IsWindowVisible(box);
  };
}

// What the box says, its buttons' texts, into `said`.
struct Said {
  std::wstring message, retry, cancel;
};
Step ReadBox(Said *said) {
  return [said] {
    for (HWND child = GetWindow(box, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      int id = GetDlgCtrlID(child);
      if (id == IDRETRY)
        said->retry = Text(child);
      else if (id == IDCANCEL)
        said->cancel = Text(child);
      else
        said->message += Text(child);
    }
    return true;
  };
}

// A player's click on a button of the box: the pointer there first.
std::vector<Step> ClickButton(int id) {
  auto centre = [id] {
    RECT rect;
    GetWindowRect(GetDlgItem(box, id), &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  };
  return {[centre] {
            MovePointerTo(centre());
            return true;
          },
          [centre] { return PointerIsAt(centre()); },
          [centre] {
            ClickAt(centre());
            return true;
          }};
}

std::vector<Step> Join(std::vector<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (auto &part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::wstring FullPath(const std::string &folder) {
  std::string path = folder + "\\system\\config.dat";
  wchar_t full[MAX_PATH] = L"";
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, full, MAX_PATH);
  wchar_t normal[MAX_PATH] = L"";
  GetFullPathNameW(full, MAX_PATH, normal, NULL);
  return normal;
}

bool Has(const std::wstring &text, const wchar_t *part) {
  return text.find(part) != std::wstring::npos;
}

// An edited record: nothing like the defaults.
Bytes EditedRecord() {
  SetDefaultConfig();
  KeyConfig.up.player1 = VK_SPACE;
  KeyConfig.padD.player2 = 7;
  Bytes bytes(96);
  memcpy(bytes.data(), &KeyConfig, 96);
  return bytes;
}

const wchar_t kNotSaved[] = L"キー設定を保存できませんでした。";
const wchar_t kRetry[] = L"再試行(&R)";
const wchar_t kCancel[] = L"キャンセル";

// No "system" folder: the box names the file and the missing folder; the
// player makes the folder and presses 再試行, and the edited record is saved.
TEST(FailedSave, MissingFolderThenMadeThenRetrySavesTheEditedRecord) {
  TempFolder folder;
  Bytes edited = EditedRecord();
  Said said;
  SaveRun run = RunSave(folder.path, Join({{BoxShown(), ReadBox(&said),
                                            [&] {
                                              MakeFolder(folder.Join("system"));
                                              return true;
                                            }},
                                           ClickButton(IDRETRY)}));
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.stepsRun, 6u);
  EXPECT_TRUE(Has(said.message, kNotSaved));
  EXPECT_TRUE(Has(said.message, FullPath(folder.path).c_str()))
      << "the full path of the file";
  EXPECT_TRUE(Has(said.message, L"system フォルダーがありません"));
  EXPECT_TRUE(Has(said.message, L"The keys were not saved: no system folder"));
  EXPECT_EQ(said.retry, kRetry);
  EXPECT_EQ(said.cancel, kCancel);
  EXPECT_EQ(run.lines, std::vector<std::string>{kSaveOpenFailed});
  EXPECT_EQ(ReadBytes(folder.Join("system\\config.dat")), edited);
}

// キャンセル gives up: no folder and no file is made, one line was sent.
TEST(FailedSave, CancelLeavesNoFile) {
  TempFolder folder;
  EditedRecord();
  SaveRun run =
      RunSave(folder.path, Join({{BoxShown()}, ClickButton(IDCANCEL)}));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.stepsRun, 4u);
  EXPECT_FALSE(Exists(folder.Join("system")));
  EXPECT_EQ(run.lines, std::vector<std::string>{kSaveOpenFailed});
}

// The file held open without sharing by another program (here a handle of
// this process): the box says the file is in use. 再試行 while it is still
// held fails again and asks again; once it is let go, 再試行 saves over the
// file's first 96 bytes only.
TEST(FailedSave, FileInUseAsksAgainUntilItIsLetGo) {
  TempFolder folder;
  MakeFolder(folder.Join("system"));
  std::string file = folder.Join("system\\config.dat");
  Bytes old = PatternBytes(100, 5);
  WriteBytes(file, old);
  Bytes edited = EditedRecord();
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Said first, second;
  SaveRun run = RunSave(folder.path, Join({{BoxShown(), ReadBox(&first)},
                                           ClickButton(IDRETRY),
                                           {[] { return !IsWindow(box); },
                                            BoxShown(), ReadBox(&second),
                                            [&] {
                                              CloseHandle(held);
                                              held = INVALID_HANDLE_VALUE;
                                              return true;
                                            }},
                                           ClickButton(IDRETRY)}));
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.stepsRun, 12u);
  for (const Said *said : {&first, &second}) {
    EXPECT_TRUE(Has(said->message, L"ほかのプログラムが使っています"));
    EXPECT_TRUE(Has(said->message, L"the file is read-only or in use"));
  }
  EXPECT_EQ(run.lines,
            (std::vector<std::string>{kSaveOpenFailed, kSaveOpenFailed}));
  Bytes expected = edited;
  expected.insert(expected.end(), old.begin() + 96, old.end());
  EXPECT_EQ(ReadBytes(file), expected);
}

// A full disk: the write fails, and the box says so.
TEST(FailedSave, FullDiskIsNamedAsTheCause) {
  const char *full = getenv("KEYCONFIG_FULL_FOLDER");
  ASSERT_NE(full, nullptr) << "KEYCONFIG_FULL_FOLDER is not set";
  EditedRecord();
  Said said;
  SaveRun run = RunSave(
      full, Join({{BoxShown(), ReadBox(&said)}, ClickButton(IDCANCEL)}));
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(Has(said.message, L"ディスクがいっぱいか"));
  EXPECT_TRUE(Has(said.message, L"the disk is full or the write was refused"));
  EXPECT_EQ(run.lines, std::vector<std::string>{kSaveWriteFailed});
}

}  // namespace
