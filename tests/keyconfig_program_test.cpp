// keyconfig.exe as a user meets it: each case starts the built program in
// a folder of its own, on a desktop of its own, drives its real dialog from
// another thread of this process (window messages across processes, real
// input), and afterwards checks the exit code, the debugger lines (as a
// debug-output monitor, tools/debugrun, collects them) and
// system\config.dat byte for byte. All cases run in one go, when the first
// test needs them; the tests then only read the results.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "debugger_capture.h"
#include "keyconfig_test_data.h"
#include "real_input.h"
#include "test_files.h"
#include "test_pace.h"

namespace {

// What a driver saw while the program ran; checked by the tests later, on
// the main thread.
struct Observations {
  bool completed = false;
  std::map<std::string, std::string> seen;
};

// Every wait below ends once what it waits for has happened, the program
// has ended, or its limit (a safety net, at the machine's pace) has passed.

bool WaitUntilGone(DWORD processId, HWND window) {
  return WaitWhileAlive(processId, Paced(30000),
                        [window] { return !IsWindow(window); });
}

std::string Text(HWND dialog, int id) {
  char text[256] = "";
  DWORD_PTR result;
  SendMessageTimeoutA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text,
                      reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      Paced(20000), &result);
  return text;
}

// The label refresh follows the capture window's close through a paint.
std::string TextOnceItIs(DWORD processId, HWND dialog, int id,
                         const std::string &expected) {
  std::string text;
  WaitWhileAlive(processId, Paced(10000),
                 [&] { return (text = Text(dialog, id)) == expected; });
  return text;
}

void Click(HWND dialog, int id) {
  DWORD_PTR result;
  SendMessageTimeoutA(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG,
                      Paced(20000), &result);
}

// The program starts once its turn comes and the children before it have
// started: about a minute each where Wine runs under qemu. The dialog is
// ready for a click once it is the active window: it shows itself during
// its set-up, and activation follows through the X server. An OK click
// sent before that was lost once on a loaded machine (the program never
// ended); the activation that moves the focus can undo a button's press.
HWND OpenDialog(DWORD processId) {
  HWND dialog =
      WaitForProcessWindow(processId, "#32770", "KEY CONFIG", Paced(120000));
  if (!dialog || !WaitWhileAlive(processId, Paced(30000), [dialog] {
        return GetForegroundWindow() == dialog;
      }))
    return NULL;
  return dialog;
}

// Presses "変更" `button`, then `key` in the capture window with real input.
// With `clickDialogMeanwhile`, first clicks the dialog between the player
// panels, as a user who looks for the window would. Notes the capture
// window's title, whether it kept activation and whether it closed.
bool CaptureKey(DWORD processId, HWND dialog, int button, WORD key,
                Observations &o, bool clickDialogMeanwhile = false) {
  Click(dialog, button);
  HWND capture = WaitForProcessWindow(processId, "child", NULL, Paced(30000));
  std::string prefix = "capture " + std::to_string(button) + " ";
  o.seen[prefix + "opened"] = capture ? "yes" : "no";
  if (!capture) return false;
  char title[64] = "";
  GetWindowTextA(capture, title, sizeof title);
  o.seen[prefix + "title"] = title;
  auto captureActive = [capture] { return GetForegroundWindow() == capture; };
  WaitWhileAlive(processId, Paced(5000), captureActive);
  if (clickDialogMeanwhile) {
    RECT client;
    GetClientRect(dialog, &client);
    POINT between = {client.right / 2, client.bottom / 5};
    ClientToScreen(dialog, &between);
    MovePointerTo(between);
    WaitWhileAlive(processId, Paced(2000),
                   [between] { return PointerIsAt(between); });
    ClickAt(between);
    // The hand-back follows the click's own messages and ends with its
    // debugger line, the first of this program's.
    o.seen[prefix + "handed back"] =
        WaitForDebugLine(processId, kDialogActivated, 1, Paced(10000)) ? "yes"
                                                                       : "no";
    o.seen[prefix + "kept activation"] =
        WaitWhileAlive(processId, Paced(5000), captureActive) ? "yes" : "no";
  }
  PressKey(key);
  o.seen[prefix + "closed"] = WaitUntilGone(processId, capture) ? "yes" : "no";
  return true;
}

// The message box of a failed save, once it is up and active.
HWND OpenSaveMessage(DWORD processId) {
  HWND box =
      WaitForProcessWindow(processId, "#32770", "keyconfig", Paced(30000));
  if (!box || !WaitWhileAlive(processId, Paced(30000),
                              [box] { return GetForegroundWindow() == box; }))
    return NULL;
  return box;
}

// A real click on a button of a window of the program.
void ClickButton(DWORD processId, HWND window, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(window, id), &rect);
  POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  MovePointerTo(centre);
  WaitWhileAlive(processId, Paced(2000),
                 [centre] { return PointerIsAt(centre); });
  ClickAt(centre);
}

// What a failed save's message says, as UTF-16 read from its window.
std::wstring MessageText(HWND box) {
  wchar_t text[1024] = L"";
  GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 1024);
  return text;
}

struct ProgramCase {
  const char *name;
  void (*prepare)(const std::string &folder);
  bool (*drive)(DWORD processId, Observations &o);
};

void SystemFolder(const std::string &folder) {
  MakeFolder(folder + "\\system");
}

// A record in a 100-byte file: pads in and out of range, a 4-byte tail.
Bytes LongFile() {
  Bytes bytes = kDefaultBytes;
  Bytes pads = Int32Bytes({5, 9, -1, 7, 0, 8, 2, 3});
  std::copy(pads.begin(), pads.end(), bytes.begin() + 64);
  for (unsigned char tail : {0xDE, 0xAD, 0xBE, 0xEF}) bytes.push_back(tail);
  return bytes;
}

HANDLE heldFile = INVALID_HANDLE_VALUE;
std::string noSystemFolder;  // the no_system case's folder

ProgramCase programCases[] = {
    {"edit_then_cancel",
     [](const std::string &folder) {
       SystemFolder(folder);
       WriteBytes(folder + "\\system\\config.dat", OddRecord());
     },
     [](DWORD pid, Observations &o) {
       HWND dialog = OpenDialog(pid);
       if (!dialog || !CaptureKey(pid, dialog, 1008, 'Q', o)) return false;
       o.seen["label 1000"] = TextOnceItIs(pid, dialog, 1000, "Q");
       Click(dialog, 1074);
       Click(dialog, IDCANCEL);
       return true;
     }},
    // The factory keys, three edits, OK. (Every program start costs a
    // minute where 32-bit code is emulated: the factory record is checked
    // here, in every byte the edits leave alone.)
    {"edit_ok", SystemFolder,
     [](DWORD pid, Observations &o) {
       HWND dialog = OpenDialog(pid);
       if (!dialog) return false;
       o.seen["label 1031 at first"] = Text(dialog, 1031);
       if (!CaptureKey(pid, dialog, 1008, VK_SPACE, o)) return false;
       o.seen["label 1000"] = TextOnceItIs(pid, dialog, 1000, "SPACE");
       if (!CaptureKey(pid, dialog, 1062, 'Q', o, true)) return false;
       o.seen["label 1030"] = TextOnceItIs(pid, dialog, 1030, "Q");
       Click(dialog, 1074);  // player 2, button-B, "button3"
       Click(dialog, IDOK);
       return true;
     }},
    // The save fails and says so; the player makes the folder, then
    // presses 再試行, and the edited record is saved.
    {"no_system", [](const std::string &folder) { noSystemFolder = folder; },
     [](DWORD pid, Observations &o) {
       HWND dialog = OpenDialog(pid);
       if (!dialog) return false;
       Click(dialog, 1074);  // player 2, button-B, "button3"
       Click(dialog, IDOK);
       HWND box = OpenSaveMessage(pid);
       if (!box) return false;
       o.seen["names the missing folder"] =
           MessageText(box).find(L"no system folder") != std::wstring::npos
               ? "yes"
               : "no";
       o.seen["folder before retry"] =
           Exists(noSystemFolder + "\\system") ? "yes" : "no";
       MakeFolder(noSystemFolder + "\\system");
       ClickButton(pid, box, IDRETRY);
       return true;
     }},
    {"held",
     [](const std::string &folder) {
       SystemFolder(folder);
       std::string file = folder + "\\system\\config.dat";
       WriteBytes(file, OddRecord());
       heldFile = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
     },
     [](DWORD pid, Observations &o) {
       HWND dialog = OpenDialog(pid);
       if (!dialog) return false;
       o.seen["label 1000"] = Text(dialog, 1000);
       Click(dialog, IDOK);
       HWND box = OpenSaveMessage(pid);
       if (!box) return false;
       o.seen["names the file in use"] =
           MessageText(box).find(L"in use") != std::wstring::npos ? "yes"
                                                                  : "no";
       ClickButton(pid, box, IDCANCEL);
       return true;
     }},
    {"long_file",
     [](const std::string &folder) {
       SystemFolder(folder);
       WriteBytes(folder + "\\system\\config.dat", LongFile());
     },
     [](DWORD pid, Observations &o) {
       HWND dialog = OpenDialog(pid);
       if (!dialog || !CaptureKey(pid, dialog, 1022, 'Z', o)) return false;
       Click(dialog, IDOK);
       return true;
     }},
};

const size_t kCaseCount = sizeof programCases / sizeof programCases[0];

struct CaseResult {
  DebuggeeRun run;
  Observations observations;
} caseResults[kCaseCount];

TempFolder *programRoot;

std::string CaseFolder(const ProgramCase &c) {
  return programRoot->Join(c.name);
}

std::string CaseFile(const ProgramCase &c) {
  return CaseFolder(c) + "\\system\\config.dat";
}

// Starts every case's keyconfig.exe, each on a desktop of its own with its
// driver, and collects what each one sent to the debugger output. Children
// are created one after another and each creation waits for the child's
// start: about a minute each where Wine runs under qemu, more while other
// tests load the machine. The run ends when the last child has; its limit,
// at the machine's pace, is only for a hang.
void RunAllCases() {
  programRoot = new TempFolder;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  // The build puts keyconfig.exe in a sibling folder of this program's.
  std::string keyconfig = self;
  keyconfig.resize(keyconfig.rfind('\\'));
  keyconfig += "\\..\\keyconfig\\keyconfig.exe";
  std::vector<ProgramLaunch> launches;
  for (size_t i = 0; i < kCaseCount; ++i) {
    const ProgramCase &c = programCases[i];
    MakeFolder(CaseFolder(c));
    c.prepare(CaseFolder(c));
    CaseResult *result = &caseResults[i];
    auto drive = c.drive;
    ProgramLaunch launch;
    launch.commandLine = "\"" + keyconfig + "\"";
    launch.workDir = CaseFolder(c);
    launch.desktop = "keyconfig-" + std::to_string(GetCurrentProcessId()) +
                     "-" + std::to_string(i);
    launch.drive = [result, drive](unsigned long pid) {
      result->observations.completed = drive(pid, result->observations);
      // A script that could not go on ends its program (exit code 99).
      if (!result->observations.completed) EndProgram(pid, 99);
    };
    launches.push_back(launch);
  }
  std::vector<DebuggeeRun> runs = RunWithDebugMonitor(launches, Paced(300000));
  for (size_t i = 0; i < kCaseCount; ++i) caseResults[i].run = runs[i];
  if (heldFile != INVALID_HANDLE_VALUE) CloseHandle(heldFile);
  heldFile = INVALID_HANDLE_VALUE;
}

using Lines = std::vector<std::string>;

struct KeyconfigProgram : ::testing::Test {
  static void SetUpTestSuite() { RunAllCases(); }
  static void TearDownTestSuite() {
    delete programRoot;
    programRoot = nullptr;
  }

  // The case ran to the end of its script and the program exited with 0.
  static size_t Ran(const char *name) {
    for (size_t i = 0; i < kCaseCount; ++i) {
      if (std::string(programCases[i].name) != name) continue;
      const CaseResult &r = caseResults[i];
      EXPECT_TRUE(r.run.started) << name;
      EXPECT_TRUE(r.observations.completed) << name << ": dialog not driven";
      EXPECT_TRUE(r.run.exited) << name;
      EXPECT_EQ(r.run.exitCode, 0u) << name;
      return i;
    }
    ADD_FAILURE() << "no case " << name;
    return 0;
  }
};

const Lines &LinesOf(size_t i) { return caseResults[i].run.lines; }

std::string Seen(size_t i, const std::string &what) {
  const Observations &o = caseResults[i].observations;
  auto found = o.seen.find(what);
  return found == o.seen.end() ? "(not seen)" : found->second;
}

std::string CaseFile(size_t i) { return CaseFile(programCases[i]); }

const char kCaptureTitle[] =
    "\x83\x4c\x81\x5b\x83\x7b\x81\x5b\x83\x68\x90\xdd"
    "\x92\xe8";  // キーボード設定

TEST_F(KeyconfigProgram, CancelWritesNothingEvenAfterACapture) {
  size_t c = Ran("edit_then_cancel");
  EXPECT_EQ(LinesOf(c), Lines{});
  EXPECT_EQ(Seen(c, "capture 1008 closed"), "yes");
  EXPECT_EQ(Seen(c, "label 1000"), "Q");
  EXPECT_EQ(ReadBytes(CaseFile(c)), OddRecord());
}

// Without a file: the factory keys shown, then saved on OK with the three
// edits at their offsets and every other byte the factory one.
TEST_F(KeyconfigProgram, DefaultsWithCapturedKeysAndRadioAreSavedOnOk) {
  size_t c = Ran("edit_ok");
  EXPECT_EQ(Seen(c, "label 1031 at first"), "V");
  EXPECT_EQ(Seen(c, "capture 1008 title"), kCaptureTitle);
  EXPECT_EQ(Seen(c, "capture 1008 closed"), "yes");
  EXPECT_EQ(Seen(c, "label 1000"), "SPACE");
  EXPECT_EQ(Seen(c, "capture 1062 handed back"), "yes");
  EXPECT_EQ(Seen(c, "capture 1062 kept activation"), "yes");
  EXPECT_EQ(Seen(c, "label 1030"), "Q");
  // The click on the dialog during the second capture: one hand-back.
  EXPECT_EQ(LinesOf(c), (Lines{kLoadOpenFailed, kDialogActivated}));
  Bytes expected = kDefaultBytes;
  expected[0] = 0x20;  // player 1 up: Space
  expected[52] = 'Q';  // player 2 keyC
  expected[76] = 2;    // player 2 padB: "button3"
  EXPECT_EQ(ReadBytes(CaseFile(c)), expected);
}

// The program creates no folder; the failed save says why, and 再試行
// after the player has made the folder saves the edited record.
TEST_F(KeyconfigProgram, WithoutSystemFolderTheMessageThenRetrySaves) {
  size_t c = Ran("no_system");
  EXPECT_EQ(Seen(c, "folder before retry"), "no");
  EXPECT_EQ(Seen(c, "names the missing folder"), "yes");
  EXPECT_EQ(LinesOf(c), (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  Bytes expected = kDefaultBytes;
  expected[76] = 2;  // player 2 padB: "button3"
  EXPECT_EQ(ReadBytes(CaseFile(c)), expected);
}

TEST_F(KeyconfigProgram, HeldFileShowsDefaultsAndCancelLeavesItUnchanged) {
  size_t c = Ran("held");
  EXPECT_EQ(LinesOf(c), (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  EXPECT_EQ(Seen(c, "label 1000"), "\x81\xaa");  // ↑: the default, Up
  EXPECT_EQ(Seen(c, "names the file in use"), "yes");
  EXPECT_EQ(ReadBytes(CaseFile(c)), OddRecord());
}

TEST_F(KeyconfigProgram, LongFileKeepsItsTailAndOutOfRangePads) {
  size_t c = Ran("long_file");
  EXPECT_EQ(LinesOf(c), Lines{});
  Bytes expected = LongFile();
  expected[56] = 'Z';  // player 1 keyD
  EXPECT_EQ(ReadBytes(CaseFile(c)), expected);
}

}  // namespace
