// The dialog and the capture window on real windows: the dialog runs modal
// from the template linked into this program, and a thread timer inside its
// modal loop plays the steps of each case one at a time. Input messages and
// paints are always handled before the next timer message, so each step
// sees the effects of the one before. Keys go through SendInput, the real
// input path; the controls are read back with ordinary calls.
#include "config_dialog.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture_window.h"
#include "debug_lines.h"
#include "dialog_controls.h"
#include "key_config.h"
#include "key_labels.h"
#include "real_input.h"
#include "test_pace.h"

namespace {

using Step = std::function<void()>;

const INT_PTR kWatchdogResult = 77;  // the steps never ended the dialog

struct DialogRun {
  INT_PTR result;
  size_t stepsRun;
};

std::vector<Step> *pendingSteps;
size_t nextStep;
int idleTicks;
bool stepAgain;  // set by a step that waits: it runs again at the next tick

void CALLBACK PlayNextStep(HWND, UINT, UINT_PTR, DWORD) {
  if (!dialogWindow || !IsWindow(dialogWindow)) return;
  if (nextStep < pendingSteps->size()) {
    stepAgain = false;
    (*pendingSteps)[nextStep]();
    if (!stepAgain) ++nextStep;
  } else if (++idleTicks > int(TestPace()) * 50) {
    EndDialog(dialogWindow, kWatchdogResult);
  }
}

DialogRun RunDialog(std::vector<Step> steps) {
  pendingSteps = &steps;
  nextStep = 0;
  idleTicks = 0;
  dialogWindow = NULL;
  UINT_PTR timer = SetTimer(NULL, 0, 20, PlayNextStep);
  INT_PTR result = RunConfigDialog(GetModuleHandleA(NULL));
  KillTimer(NULL, timer);
  return {result, nextStep};
}

// A step that waits until `done` holds, at most `ticks` timer ticks at the
// machine's pace, and then for `settle` ticks more.
Step WaitUntil(std::function<bool()> done, int limitTicks, int settle) {
  auto waited = std::make_shared<int>(0);
  const int ticks = limitTicks * int(TestPace());
  return [=] {
    int &n = *waited;
    if (n < ticks && !done()) {
      ++n;
      stepAgain = true;
      return;
    }
    n = std::max(n, ticks);  // settle from here
    if (n < ticks + settle) {
      ++n;
      stepAgain = true;
    }
  };
}

// A point of the dialog given in dialog units, on the screen.
POINT DialogPoint(int x, int y) {
  RECT units = {x, y, 0, 0};
  MapDialogRect(dialogWindow, &units);
  POINT point = {units.left, units.top};
  ClientToScreen(dialogWindow, &point);
  return point;
}

void Click(int id) {
  SendMessageA(GetDlgItem(dialogWindow, id), BM_CLICK, 0, 0);
}

std::string ControlText(int id) {
  char text[256] = "";
  GetDlgItemTextA(dialogWindow, id, text, sizeof text);
  return text;
}

std::string Label(int32_t code) {
  char buffer[256];
  return GetKeyLabel(code, buffer);
}

bool Checked(int id) {
  return SendMessageA(GetDlgItem(dialogWindow, id), BM_GETCHECK, 0, 0) ==
         BST_CHECKED;
}

// The 16 keyboard slots and their label boxes, player 1 then player 2, and
// the 8 pad slots and their radios, in the same order.
int LabelBox(int i) { return kKeyRows[i % 8].box[i / 8]; }
int32_t *KeySlot(int i) { return SlotOf(kKeyRows[i % 8].entry, i / 8); }
int32_t *PadSlot(int g) { return SlotOf(kPadGroups[g % 4].entry, g / 4); }
int Radio(int g, int value) { return kPadGroups[g % 4].radios[g / 4][value]; }

// The first step of a capture: the dialog in front, a "変更" pressed.
Step PressChange(int button) {
  return [button] {
    SetForegroundWindow(dialogWindow);
    Click(button);
  };
}

struct ConfigDialog : ::testing::Test {
  void SetUp() override {
    SetDefaultConfig();
    captureWindow = NULL;
  }
  void TearDown() override { EXPECT_EQ(captureWindow, nullptr); }
};

TEST_F(ConfigDialog, ShowsTheRecordCentredAndOkKeepsOutOfRangePads) {
  const int32_t keys[16] = {VK_SPACE,  0x07, 'Q', VK_F12,    VK_NUMPAD1, 0xE5,
                            -5,        1000, 'W', VK_RETURN, VK_TAB,     0xBA,
                            VK_ESCAPE, 'B',  'C', 'D'};
  const int32_t pads[8] = {0, 7, 8, -1, 3, 2, 6, 0x7FFFFFFF};
  for (int i = 0; i < 16; ++i) *KeySlot(i) = keys[i];
  for (int g = 0; g < 8; ++g) *PadSlot(g) = pads[g];
  DialogRun run = RunDialog({
      [] {
        for (int i = 0; i < 16; ++i)
          EXPECT_EQ(ControlText(LabelBox(i)), Label(*KeySlot(i)))
              << "box " << LabelBox(i);
        EXPECT_EQ(ControlText(1000), "SPACE");
        for (int g = 0; g < 8; ++g) {
          int checked = 0;
          for (int v = 0; v < 8; ++v) {
            bool on = Checked(Radio(g, v));
            checked += on;
            if (on) {
              EXPECT_EQ(*PadSlot(g), v) << "group " << g;
            }
          }
          bool inRange = *PadSlot(g) >= 0 && *PadSlot(g) <= 7;
          EXPECT_EQ(checked, inRange ? 1 : 0) << "group " << g;
        }
        // Centred with truncating division on the desktop's right/bottom.
        RECT desktop, rect;
        GetWindowRect(GetDesktopWindow(), &desktop);
        GetWindowRect(dialogWindow, &rect);
        int w = rect.right - rect.left, h = rect.bottom - rect.top;
        EXPECT_EQ(rect.left, (desktop.right - w) / 2);
        EXPECT_EQ(rect.top, (desktop.bottom - h) / 2);
        EXPECT_TRUE(IsWindowVisible(dialogWindow));
        EXPECT_EQ(GetActiveWindow(), dialogWindow);
      },
      [] { Click(IDOK); },
  });
  EXPECT_EQ(run.result, 1);
  for (int g = 0; g < 8; ++g) EXPECT_EQ(*PadSlot(g), pads[g]) << g;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(*KeySlot(i), keys[i]) << i;
}

TEST_F(ConfigDialog, OkCopiesRadiosHighestCheckedWinsNoneKeepsTheValue) {
  DialogRun run = RunDialog({
      [] {
        Click(1074);  // player 2, button-B, "button3"
        EXPECT_TRUE(Checked(1074));
        EXPECT_FALSE(Checked(1073)) << "auto radios are exclusive";
        // Player 1 padA: two checked (values 0 and 5); padD: none.
        SendMessageA(GetDlgItem(dialogWindow, 1027), BM_SETCHECK, 1, 0);
        SendMessageA(GetDlgItem(dialogWindow, 1057), BM_SETCHECK, 0, 0);
        EXPECT_EQ(KeyConfig.padB.player2, 1) << "radios alone change nothing";
      },
      [] { Click(IDOK); },
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(KeyConfig.padB.player2, 2);
  EXPECT_EQ(KeyConfig.padA.player1, 5);
  EXPECT_EQ(KeyConfig.padD.player1, 3);  // kept
  EXPECT_EQ(KeyConfig.padC.player2, 2);  // untouched group, same value
}

TEST_F(ConfigDialog, CancelEscapeAndCloseBoxEndWithTwoAndReadNoRadio) {
  struct Case {
    const char *name;
    Step end;
  } cases[] = {
      {"Cancel button", [] { Click(IDCANCEL); }},
      {"Esc key", [] { PressKey(VK_ESCAPE); }},
      {"close box",
       [] { SendMessageA(dialogWindow, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case &c : cases) {
    SetDefaultConfig();
    DialogRun run = RunDialog({
        [] {
          SetForegroundWindow(dialogWindow);
          Click(Radio(1, 6));
        },
        c.end,
    });
    EXPECT_EQ(run.result, 2) << c.name;
    EXPECT_EQ(KeyConfig.padB.player1, 1) << c.name;
  }
}

TEST_F(ConfigDialog, ChangeOpensTheCaptureWindowAndSpaceIsStored) {
  HWND capture = NULL;
  DialogRun run = RunDialog({
      PressChange(1008),  // player 1, up
      [&] {
        capture = captureWindow;
        ASSERT_NE(capture, nullptr);
        EXPECT_EQ(captureTarget, &KeyConfig.up.player1);
        char className[32] = "";
        GetClassNameA(capture, className, sizeof className);
        EXPECT_STREQ(className, "child");
        char title[64] = "";
        GetWindowTextA(capture, title, sizeof title);
        EXPECT_STREQ(title,
                     "\x83\x4c\x81\x5b\x83\x7b\x81\x5b\x83\x68\x90\xdd"
                     "\x92\xe8");  // キーボード設定 in code page 932
        wchar_t wideTitle[64] = L"";
        GetWindowTextW(capture, wideTitle, 64);
        EXPECT_STREQ(wideTitle, L"キーボード設定");
        EXPECT_EQ(GetWindow(capture, GW_OWNER), dialogWindow);
        LONG style = GetWindowLongA(capture, GWL_STYLE);
        EXPECT_EQ(style & (WS_CHILD | WS_SYSMENU | WS_THICKFRAME |
                           WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
                  0);
        EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
        EXPECT_TRUE(IsWindowVisible(capture));
        EXPECT_EQ(GetActiveWindow(), capture);
        EXPECT_EQ(GetClassLongA(capture, GCL_STYLE), DWORD(CS_CLASSDC));
        EXPECT_EQ(reinterpret_cast<HGDIOBJ>(
                      GetClassLongPtrA(capture, GCLP_HBRBACKGROUND)),
                  GetStockObject(WHITE_BRUSH));
        EXPECT_EQ(GetClassLongPtrA(capture, GCLP_HICON), 0);
        EXPECT_EQ(GetClassLongPtrA(capture, GCLP_HCURSOR), 0);
        RECT desktop, rect;
        GetWindowRect(GetDesktopWindow(), &desktop);
        GetWindowRect(capture, &rect);
        EXPECT_EQ(rect.right - rect.left, 400);
        EXPECT_EQ(rect.bottom - rect.top, 50);
        EXPECT_EQ(rect.left, (desktop.right - 400) / 2);
        EXPECT_EQ(rect.top, (desktop.bottom - 50) / 2);
        if (desktop.right == 1024 && desktop.bottom == 768) {
          EXPECT_EQ(rect.left, 312);
          EXPECT_EQ(rect.top, 359);
        }
        // Space, then a second key that must not reach the closed window.
        SendKey(VK_SPACE, false);
        SendKey(VK_SPACE, true);
        PressKey('K');
      },
      [&] {
        EXPECT_EQ(captureWindow, nullptr);
        EXPECT_FALSE(IsWindow(capture));
        EXPECT_EQ(KeyConfig.up.player1, VK_SPACE);
        EXPECT_EQ(ControlText(1000), "SPACE");
        EXPECT_EQ(KeyConfig.down.player1, VK_DOWN) << "no other slot changed";
        EXPECT_EQ(GetActiveWindow(), dialogWindow);
      },
      [] { Click(IDCANCEL); },
  });
  EXPECT_EQ(run.stepsRun, 4u);
  EXPECT_EQ(run.result, 2);
}

TEST_F(ConfigDialog, EnterEscAndTabAreCapturedNotDialogKeys) {
  std::vector<Step> steps = {[] { SetForegroundWindow(dialogWindow); }};
  struct Case {
    int button;
    int32_t *slot;
    WORD key;
  };
  static const Case cases[] = {{1016, &KeyConfig.down.player1, VK_RETURN},
                               {1033, &KeyConfig.down.player2, VK_ESCAPE},
                               {1063, &KeyConfig.keyD.player2, VK_TAB}};
  for (const Case &c : cases) {
    steps.push_back([&c] { Click(c.button); });
    steps.push_back([&c] {
      ASSERT_NE(captureWindow, nullptr);
      PressKey(c.key);
    });
    steps.push_back([&c] {
      EXPECT_EQ(*c.slot, c.key);
      EXPECT_EQ(captureWindow, nullptr);
      EXPECT_TRUE(IsWindowVisible(dialogWindow)) << "the dialog ended";
    });
  }
  steps.push_back([] {
    EXPECT_EQ(ControlText(1001), "RETURN");
    EXPECT_EQ(ControlText(1011), "ESC");
    EXPECT_EQ(ControlText(1031), "TAB");
    Click(IDCANCEL);
  });
  size_t total = steps.size();
  DialogRun run = RunDialog(steps);
  EXPECT_EQ(run.stepsRun, total);
  EXPECT_EQ(run.result, 2);
}

TEST_F(ConfigDialog, SystemKeysAndCloseStoreNothing) {
  HWND capture = NULL;
  DialogRun run = RunDialog({
      PressChange(1019),  // player 1, keyA
      [&] {
        capture = captureWindow;
        ASSERT_NE(capture, nullptr);
        // Alt+X arrives as WM_SYSKEYDOWN.
        SendKey(VK_MENU, false);
        PressKey('X');
        SendKey(VK_MENU, true);
      },
      [&] {
        EXPECT_EQ(captureWindow, capture) << "the window stays open";
        EXPECT_EQ(KeyConfig.keyA.player1, '1');
        PostMessageA(capture, WM_CLOSE, 0, 0);
      },
      [&] {
        EXPECT_EQ(captureWindow, nullptr);
        EXPECT_FALSE(IsWindow(capture));
        EXPECT_EQ(KeyConfig.keyA.player1, '1');
        EXPECT_EQ(ControlText(1004), "1");
        Click(IDOK);
      },
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(KeyConfig.keyA.player1, '1');
}

// Clicks on the dialog during two captures in a row: on an empty spot
// between the player panels, then on a label box (a control that takes the
// focus). Each click hands activation back once, with one line, and the
// next key still goes to the capture window.
TEST_F(ConfigDialog, ClickOnTheDialogHandsActivationBackOnce) {
  const std::string handedBack = "main dialog : アクティブになった\n";
  void *recorder = AddVectoredExceptionHandler(1, RecordDebugLine);
  struct DialogClick {
    const char *where;
    int button, x, y;
    WORD key;
    int32_t *slot;
  } clicks[] = {
      {"between the panels", 1008, 198, 60, 'M', &KeyConfig.up.player1},
      {"on label box 1000", 1036, 100, 33, 'N', &KeyConfig.keyA.player2}};
  std::vector<Step> steps;
  for (const DialogClick &c : clicks) {
    steps.push_back(PressChange(c.button));
    steps.push_back([&c] {
      ASSERT_NE(captureWindow, nullptr) << c.where;
      // Typed text survives the hand-back: only painting rewrites the
      // labels while a capture is open.
      SetDlgItemTextA(dialogWindow, 1000, "typed");
      MovePointerTo(DialogPoint(c.x, c.y));
    });
    steps.push_back(
        WaitUntil([&c] { return PointerIsAt(DialogPoint(c.x, c.y)); }, 100, 5));
    steps.push_back([&c] {
      debugLines.clear();
      ClickAt(DialogPoint(c.x, c.y));
    });
    // Wait for the hand-back (up to 5 s), then 0.5 s for any further one.
    steps.push_back(WaitUntil([] { return !debugLines.empty(); }, 250, 25));
    steps.push_back([&c, &handedBack] {
      EXPECT_EQ(debugLines, std::vector<std::string>{handedBack}) << c.where;
      EXPECT_EQ(GetActiveWindow(), captureWindow) << c.where;
      EXPECT_EQ(ControlText(1000), "typed") << c.where;
      PressKey(c.key);
    });
    steps.push_back([&c] {
      EXPECT_EQ(*c.slot, c.key) << c.where;
      EXPECT_EQ(captureWindow, nullptr) << c.where;
      EXPECT_EQ(debugLines.size(), 1u) << c.where;
    });
  }
  steps.push_back([] {
    EXPECT_EQ(ControlText(1014), "N");
    EXPECT_EQ(ControlText(1000), "M") << "refreshed at close";
    Click(IDOK);
  });
  size_t total = steps.size();
  DialogRun run = RunDialog(steps);
  RemoveVectoredExceptionHandler(recorder);
  EXPECT_EQ(run.stepsRun, total);
  EXPECT_EQ(run.result, 1);
}

TEST_F(ConfigDialog, SecondCaptureRequestIsRefused) {
  HWND capture = NULL;
  DialogRun run = RunDialog({
      PressChange(1008),  // player 1, up
      [&] {
        capture = captureWindow;
        ASSERT_NE(capture, nullptr);
        // A click on another "変更" that reaches the dialog anyway.
        SendMessageA(dialogWindow, WM_COMMAND, MAKEWPARAM(1016, BN_CLICKED), 0);
        EXPECT_EQ(captureWindow, capture);
        EXPECT_EQ(captureTarget, &KeyConfig.up.player1);
        EXPECT_EQ(FindWindowExA(NULL, capture, "child", NULL), nullptr)
            << "a second capture window";
        EXPECT_EQ(GetActiveWindow(), capture);
        PressKey('J');
      },
      [] {
        EXPECT_EQ(KeyConfig.up.player1, 'J');
        EXPECT_EQ(KeyConfig.down.player1, VK_DOWN);
        EXPECT_EQ(captureWindow, nullptr);
        Click(IDCANCEL);
      },
  });
  EXPECT_EQ(run.result, 2);
}

TEST_F(ConfigDialog, EndingTheDialogDuringACaptureStoresNothing) {
  HWND capture = NULL;
  DialogRun run = RunDialog({
      [] { Click(1022); },  // player 1, keyD
      [&] {
        capture = captureWindow;
        ASSERT_NE(capture, nullptr);
        SendMessageA(dialogWindow, WM_COMMAND, IDCANCEL, 0);
      },
  });
  EXPECT_EQ(run.result, 2);
  EXPECT_EQ(captureWindow, nullptr);
  EXPECT_FALSE(IsWindow(capture)) << "owned window outlived the dialog";
  EXPECT_EQ(KeyConfig.keyD.player1, '4');
}

TEST_F(ConfigDialog, TypedTextIsReplacedAtTheNextRefresh) {
  DialogRun run = RunDialog({
      [] {
        SetForegroundWindow(dialogWindow);
        SetFocus(GetDlgItem(dialogWindow, 1010));
        PressKey('Z');
        PressKey('Q');
      },
      [] {
        EXPECT_NE(ControlText(1010), Label('W')) << "typing did not reach";
        EXPECT_EQ(KeyConfig.up.player2, 'W');
        InvalidateRect(dialogWindow, NULL, TRUE);
      },
      [] {
        EXPECT_EQ(ControlText(1010), "W");
        Click(IDOK);
      },
  });
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(KeyConfig.up.player2, 'W');
}

TEST_F(ConfigDialog, CommandsOfLabelBoxesAndRadiosAreNotHandled) {
  KeyConfig.padC.player1 = 6;
  const KeyConfigRecord before = KeyConfig;
  DialogRun run = RunDialog({
      [] {
        for (int id : {1000, 1007, 1031, 1009, 1029, 1095, 1096, 999, 0}) {
          EXPECT_EQ(OnDialogCommand(dialogWindow, WM_COMMAND,
                                    MAKEWPARAM(id, EN_CHANGE), 0),
                    0)
              << id;
          EXPECT_EQ(ConfigDialogProc(dialogWindow, WM_COMMAND,
                                     MAKEWPARAM(id, BN_CLICKED), 0),
                    FALSE)
              << id;
        }
        EXPECT_EQ(captureWindow, nullptr);
        EXPECT_TRUE(IsWindowVisible(dialogWindow));
      },
      // The identifier is the low word only: a notification code above it
      // does not hide IDCANCEL.
      [] {
        EXPECT_EQ(OnDialogCommand(dialogWindow, WM_COMMAND,
                                  MAKEWPARAM(IDCANCEL, 0x1234), 77),
                  1);
      },
  });
  EXPECT_EQ(run.result, 2);
  EXPECT_EQ(memcmp(&before, &KeyConfig, sizeof before), 0);
}

TEST(CenterWindow, WiderThanTheDesktopRoundsTowardZero) {
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  int width = desktop.right + 3, height = 51;
  HWND window =
      CreateWindowExA(0, "STATIC", "wide", WS_POPUP, 0, 0, width, height, NULL,
                      NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(CenterWindow(window), 0);
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, width) << "size kept";
  EXPECT_EQ(rect.bottom - rect.top, height);
  EXPECT_EQ(rect.left, -1) << "(right - (right + 3)) / 2 truncates to -1";
  EXPECT_EQ(rect.top, (desktop.bottom - height) / 2);
  EXPECT_TRUE(IsWindowVisible(window));
  DestroyWindow(window);
}

// The texts as the player reads them, whatever the system's ANSI code page:
// read back as UTF-16 from the real windows. The suite runs these cases
// once more in a prefix whose code page is 1252 (KEYCONFIG_CODE_PAGE tells
// them which one the run is for).
struct CodePageRun {
  UINT codePage;
  // The window DC's own font has every glyph of the prompt, so it is kept
  // (and with it the pixels of a Japanese system).
  bool keepsOwnFont;
};
const CodePageRun kCodePageRuns[] = {
    {932, true}, {1252, false}, {936, false}, {1251, false}, {65001, false}};

const CodePageRun *ThisRun() {
  const char *name = getenv("KEYCONFIG_CODE_PAGE");
  UINT wanted = name ? UINT(atoi(name)) : 932;
  for (const CodePageRun &run : kCodePageRuns)
    if (run.codePage == wanted) return &run;
  return nullptr;
}

const wchar_t kPrompt[] = L"設定したいキーを押してください(*ﾟーﾟ)⊃゛";
const int kPromptLength = int(sizeof kPrompt / sizeof kPrompt[0]) - 1;

std::wstring WideText(HWND window) {
  wchar_t text[256] = L"";
  SendMessageW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  return text;
}

std::string Escaped(const std::wstring &text) {
  std::string out;
  for (wchar_t ch : text)
    if (ch < 128) {
      out += char(ch);
    } else {
      char code[12];
      snprintf(code, sizeof code, "\\u{%04X}", unsigned(ch));
      out += code;
    }
  return out;
}

// The glyph index of each character of `text` in the font selected into
// `dc`, 0xFFFF where the font has none.
std::vector<WORD> Glyphs(HDC dc, const wchar_t *text, int length) {
  std::vector<WORD> glyphs(length, 0);
  EXPECT_EQ(GetGlyphIndicesW(dc, text, length, glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS),
            DWORD(length));
  return glyphs;
}

// The font selected into `dc` has a glyph for every character of the prompt.
void ExpectEveryGlyphOfThePrompt(HDC dc) {
  wchar_t face[LF_FACESIZE] = L"";
  GetTextFaceW(dc, LF_FACESIZE, face);
  std::vector<WORD> glyphs = Glyphs(dc, kPrompt, kPromptLength);
  for (int i = 0; i < kPromptLength; ++i)
    EXPECT_NE(glyphs[i], 0xFFFF)
        << "character " << i << " of the prompt in " << Escaped(face);
}

// A top-down 32-bit copy of `width` x `height` pixels.
struct Picture {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  DWORD *bits;
  int width, height;
  Picture(int w, int h) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(NULL);
    void *pixels = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, NULL, 0);
    bits = static_cast<DWORD *>(pixels);
    old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
  }
  ~Picture() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  std::vector<DWORD> Pixels() {
    GdiFlush();
    std::vector<DWORD> out(bits, bits + width * height);
    for (DWORD &p : out) p &= 0xFFFFFF;
    return out;
  }
};

struct DisplayTexts : ConfigDialog {};

TEST_F(DisplayTexts, TheRunHasItsCodePage) {
  const CodePageRun *run = ThisRun();
  ASSERT_NE(run, nullptr) << "KEYCONFIG_CODE_PAGE names no known run";
  // A missing locale makes Wine fall back to 1252 without a word.
  EXPECT_EQ(GetACP(), run->codePage);
}

// Row labels, group boxes, buttons and radios from the template; label
// boxes with arrows, "漢字1" to "漢字9", "知らん" and ASCII labels.
TEST_F(DisplayTexts, EveryDialogTextReadsBackAsUnicode) {
  struct Box {
    int32_t *slot;
    int32_t code;
    const wchar_t *label;
    WORD box;
  } boxes[] = {
      {&KeyConfig.up.player1, VK_UP, L"↑", 1000},
      {&KeyConfig.down.player1, VK_DOWN, L"↓", 1001},
      {&KeyConfig.left.player1, VK_LEFT, L"←", 1002},
      {&KeyConfig.right.player1, VK_RIGHT, L"→", 1003},
      {&KeyConfig.keyA.player1, 0x15, L"漢字1", 1004},
      {&KeyConfig.keyB.player1, 0x16, L"漢字2", 1005},
      {&KeyConfig.keyC.player1, 0x17, L"漢字3", 1006},
      {&KeyConfig.keyD.player1, 0x18, L"漢字4", 1007},
      {&KeyConfig.up.player2, 0x19, L"漢字5", 1010},
      {&KeyConfig.down.player2, 0x1C, L"漢字6", 1011},
      {&KeyConfig.left.player2, 0x1D, L"漢字7", 1012},
      {&KeyConfig.right.player2, 0x1E, L"漢字8", 1013},
      {&KeyConfig.keyA.player2, 0x1F, L"漢字9", 1014},
      {&KeyConfig.keyB.player2, 1000, L"知らん", 1015},
      {&KeyConfig.keyC.player2, VK_SPACE, L"SPACE", 1030},
      {&KeyConfig.keyD.player2, 'Q', L"Q", 1031},
  };
  for (const Box &b : boxes) *b.slot = b.code;
  // The texts of a player's controls without an identifier, in template
  // order: row labels, then group boxes.
  std::vector<std::wstring> unnamed;
  for (const wchar_t *player : {L"PLAYER 1", L"PLAYER 2"}) {
    for (const ExpectedKeyRow &row : kKeyRows) unnamed.push_back(row.label);
    for (const wchar_t *box : {player, L"keyboard", L"pad"})
      unnamed.push_back(box);
    for (const ExpectedPadGroup &group : kPadGroups)
      unnamed.push_back(group.groupBox);
  }
  // Everything with an identifier.
  std::map<int, std::wstring> named = {{IDOK, L"これでよしと"},
                                       {IDCANCEL, L"だめ"}};
  for (const Box &b : boxes) named[b.box] = b.label;
  for (const ExpectedKeyRow &row : kKeyRows)
    for (WORD change : row.change) named[change] = L"変更";
  for (const ExpectedPadGroup &group : kPadGroups)
    for (int player = 0; player < 2; ++player)
      for (int value = 0; value < 8; ++value)
        named[group.radios[player][value]] =
            L"button" + std::to_wstring(value + 1);

  size_t unnamedSeen = 0, namedSeen = 0;
  DialogRun run = RunDialog({
      [&] {
        EXPECT_EQ(WideText(dialogWindow), L"KEY CONFIG");
        for (HWND control = GetWindow(dialogWindow, GW_CHILD); control;
             control = GetWindow(control, GW_HWNDNEXT)) {
          int id = GetDlgCtrlID(control);
          std::wstring text = WideText(control);
          wchar_t viaCall[256] = L"";
          GetWindowTextW(control, viaCall, 256);
          EXPECT_EQ(text, viaCall) << "control " << id;
          if (id == 0xFFFF || id == -1) {
            std::wstring expected =
                unnamedSeen < unnamed.size() ? unnamed[unnamedSeen] : L"";
            EXPECT_EQ(Escaped(text), Escaped(expected))
                << "control without id, number " << unnamedSeen;
            ++unnamedSeen;
          } else {
            auto it = named.find(id);
            ASSERT_NE(it, named.end()) << "unexpected control " << id;
            EXPECT_EQ(Escaped(text), Escaped(it->second)) << "control " << id;
            ++namedSeen;
          }
        }
      },
      [] { Click(IDCANCEL); },
  });
  EXPECT_EQ(run.result, 2);
  EXPECT_EQ(unnamedSeen, unnamed.size());
  EXPECT_EQ(namedSeen, named.size());
}

int ScreenDpi() {
  HDC screen = GetDC(NULL);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(NULL, screen);
  return dpi;
}

// The capture window's title, and its prompt: drawn in a font that has
// every glyph of it (the window's pixels are those of the prompt drawn in
// that font, not those of the font's missing-glyph boxes), and whole. At
// 96 dpi the window is 400 x 50 with the prompt at (50, 0); at any other
// dpi its client area is at least the 96-dpi one (394 x 25) scaled, with
// the prompt at 50 scaled. The prompt drawn unclipped on a larger canvas
// has no ink outside the window's client area: no glyph is cut.
TEST_F(DisplayTexts, CaptureTitleAndPromptAreReadableAndWhole) {
  const CodePageRun *thisRun = ThisRun();
  ASSERT_NE(thisRun, nullptr);
  DialogRun run = RunDialog({
      PressChange(1008),
      [&] {
        HWND capture = captureWindow;
        ASSERT_NE(capture, nullptr);
        EXPECT_EQ(Escaped(WideText(capture)), Escaped(L"キーボード設定"));
        UpdateWindow(capture);
        const int dpi = ScreenDpi();
        RECT outer, client;
        GetWindowRect(capture, &outer);
        GetClientRect(capture, &client);
        const int w = client.right, h = client.bottom;
        if (dpi == 96) {
          EXPECT_EQ(outer.right - outer.left, 400);
          EXPECT_EQ(outer.bottom - outer.top, 50);
        }
        EXPECT_GE(w, MulDiv(394, dpi, 96)) << "dpi " << dpi;
        EXPECT_GE(h, MulDiv(25, dpi, 96)) << "dpi " << dpi;
        const int x = MulDiv(50, dpi, 96);

        Picture shown(w, h);
        HDC windowDc = GetDC(capture);
        BitBlt(shown.dc, 0, 0, w, h, windowDc, 0, 0, SRCCOPY);
        ReleaseDC(capture, windowDc);

        // A fresh DC has the same default font as the window's DC. The
        // canvas has `pad` pixels of room on every side of the client area.
        const int pad = 64;
        Picture drawn(w + 2 * pad, h + 2 * pad), boxes(w, h);
        HGDIOBJ replaced = SelectPromptFont(drawn.dc, kPrompt, kPromptLength);
        EXPECT_EQ(replaced == NULL, thisRun->keepsOwnFont)
            << "code page " << thisRun->codePage;
        HGDIOBJ font = GetCurrentObject(drawn.dc, OBJ_FONT);
        wchar_t face[LF_FACESIZE] = L"";
        GetTextFaceW(drawn.dc, LF_FACESIZE, face);
        ExpectEveryGlyphOfThePrompt(drawn.dc);
        TextOutW(drawn.dc, pad + x, pad, kPrompt, kPromptLength);
        std::vector<DWORD> canvas = drawn.Pixels(), inside;
        size_t outside = 0;
        for (int row = 0; row < drawn.height; ++row)
          for (int col = 0; col < drawn.width; ++col) {
            DWORD p = canvas[row * drawn.width + col];
            bool in =
                row >= pad && row < pad + h && col >= pad && col < pad + w;
            if (in)
              inside.push_back(p);
            else if (p != 0xFFFFFF)
              ++outside;
          }

        const std::wstring missing(kPromptLength, L'\xFFFF');
        SelectObject(boxes.dc, font);
        ASSERT_EQ(Glyphs(boxes.dc, missing.c_str(), 1)[0], 0xFFFF)
            << Escaped(face) << " has a glyph for U+FFFF";
        TextOutW(boxes.dc, x, 0, missing.c_str(), kPromptLength);

        std::vector<DWORD> pixels = shown.Pixels();
        size_t inked = std::count_if(pixels.begin(), pixels.end(),
                                     [](DWORD p) { return p != 0xFFFFFF; });
        EXPECT_GT(inked, 100u) << "the prompt is not drawn";
        EXPECT_TRUE(pixels == inside)
            << "the window draws the prompt otherwise than " << Escaped(face)
            << " at (" << x << ", 0)";
        EXPECT_EQ(outside, 0u) << "pixels of the prompt cut off at dpi " << dpi
                               << " in a client area of " << w << " x " << h;
        EXPECT_FALSE(pixels == boxes.Pixels()) << "missing-glyph boxes";
        SelectObject(drawn.dc, GetStockObject(SYSTEM_FONT));
        SelectObject(boxes.dc, GetStockObject(SYSTEM_FONT));
        printf(
            "code page %u, %d dpi: prompt drawn in \"%s\" at (%d, 0) in "
            "%d x %d (outer %ld x %ld), %zu pixels inked\n",
            GetACP(), dpi, Escaped(face).c_str(), x, w, h,
            outer.right - outer.left, outer.bottom - outer.top, inked);
        PostMessageA(capture, WM_CLOSE, 0, 0);
      },
      [] { Click(IDCANCEL); },
  });
  EXPECT_EQ(run.result, 2);
}

// Where neither the DC's font nor the dialog's has the glyphs (Latin-only
// fonts here), the prompt takes a Japanese face that has them all.
TEST_F(DisplayTexts, PromptFontFallsBackToAFaceWithTheGlyphs) {
  HFONT latin = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0,
                            0, 0, 0, L"Tahoma");
  HWND standIn = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10,
                                 NULL, NULL, NULL, NULL);
  ASSERT_NE(standIn, nullptr);
  SendMessageW(standIn, WM_SETFONT, reinterpret_cast<WPARAM>(latin), FALSE);
  dialogWindow = standIn;
  Picture picture(10, 10);
  SelectObject(picture.dc, latin);
  std::vector<WORD> before = Glyphs(picture.dc, kPrompt, kPromptLength);
  ASSERT_NE(std::count(before.begin(), before.end(), 0xFFFF), 0)
      << "Tahoma has every glyph of the prompt: nothing to fall back from";

  EXPECT_EQ(SelectPromptFont(picture.dc, kPrompt, kPromptLength), latin);
  EXPECT_NE(GetCurrentObject(picture.dc, OBJ_FONT), latin);
  ExpectEveryGlyphOfThePrompt(picture.dc);
  SelectObject(picture.dc, GetStockObject(SYSTEM_FONT));
  dialogWindow = NULL;
  DestroyWindow(standIn);
  DeleteObject(latin);
}

}  // namespace

namespace {

// The dialog's texts on the screens players have: at the run's dpi and with
// the font the run's prefix draws "ＭＳ Ｐゴシック" with (KEYCONFIG_DPI and
// KEYCONFIG_FONT name them; 96 and Ume P Gothic by default). Measured as a
// player sees them: each control's text and rectangle read from the real
// windows, the text measured in the control's font.
struct ScreenScale : ConfigDialog {};

int RunDpi() {
  const char *dpi = getenv("KEYCONFIG_DPI");
  return dpi ? atoi(dpi) : 96;
}

std::string RunFont() {
  const char *font = getenv("KEYCONFIG_FONT");
  return font ? font : "Ume P Gothic";
}

// Which of the two fonts draws the font selected into `dc`. Wine reports
// a replaced face under the name asked for ("ＭＳ Ｐゴシック"), so the font
// is told by its glyphs' widths: those of every printable ASCII character
// and of the dialog's Japanese texts, against the same size of each font
// asked for by name.
std::string FamilyOf(HDC dc) {
  static const wchar_t sample[] =
      L"これでよしと だめ 変更 ↑↓←→ !\"#$%&'()*+,-./0123456789:;<=>?@"
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
  const int length = int(sizeof sample / sizeof sample[0]) - 1;
  auto widths = [&](HDC on) {
    std::vector<int> out;
    for (int i = 0; i < length; ++i) {
      SIZE size = {0, 0};
      GetTextExtentPoint32W(on, sample + i, 1, &size);
      out.push_back(size.cx);
    }
    return out;
  };
  const std::vector<int> drawn = widths(dc);
  LOGFONTW font;
  GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font);
  std::string found;
  for (const wchar_t *face : {L"Ume P Gothic", L"IPAPGothic"}) {
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    HFONT named = CreateFontIndirectW(&font);
    HDC probe = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(probe, named);
    if (widths(probe) == drawn)
      found += (found.empty() ? "" : "|") + Escaped(face);
    SelectObject(probe, old);
    DeleteDC(probe);
    DeleteObject(named);
  }
  return found.empty() ? "neither" : found;
}

HFONT FontOf(HWND window) {
  return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

// A control as the template places it and as the dialog shows it.
struct Placed {
  HWND window;
  int id;
  std::wstring className, text;
  LONG style;
  RECT rect;  // in the dialog's client area
};

std::vector<Placed> PlacedControls(HWND dialog) {
  std::vector<Placed> controls;
  for (HWND control = GetWindow(dialog, GW_CHILD); control;
       control = GetWindow(control, GW_HWNDNEXT)) {
    Placed p{control,
             GetDlgCtrlID(control),
             L"",
             WideText(control),
             GetWindowLongW(control, GWL_STYLE),
             {}};
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    p.className = className;
    GetWindowRect(control, &p.rect);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&p.rect), 2);
    controls.push_back(p);
  }
  return controls;
}

bool IsGroupBox(const Placed &p) {
  return p.className == L"Button" && (p.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Within(const RECT &inner, const RECT &outer) {
  return inner.left >= outer.left && inner.right <= outer.right &&
         inner.top >= outer.top && inner.bottom <= outer.bottom;
}

std::string Describe(const Placed &p) {
  char text[160];
  snprintf(text, sizeof text, "control %d \"%s\" at (%ld, %ld)-(%ld, %ld)",
           p.id, Escaped(p.text).c_str(), p.rect.left, p.rect.top, p.rect.right,
           p.rect.bottom);
  return text;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The controls as the template alone places them: the same resource,
// created without the program's dialog procedure.
std::vector<Placed> TemplateControls() {
  HWND plain = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(101),
                                  NULL, PlainDialogProc, 0);
  std::vector<Placed> controls = PlacedControls(plain);
  DestroyWindow(plain);
  return controls;
}

// The screen each scale is used on.
struct ScreenOfScale {
  int dpi, width, height;
} const kScreens[] = {
    {96, 1024, 768}, {120, 1280, 720}, {144, 1600, 900}, {192, 2560, 1440}};

TEST_F(ScreenScale, TheRunHasItsDpiAndFont) {
  EXPECT_EQ(ScreenDpi(), RunDpi());
  DialogRun run = RunDialog({
      [] {
        HDC dc = GetDC(dialogWindow);
        HGDIOBJ old = SelectObject(dc, FontOf(dialogWindow));
        EXPECT_EQ(FamilyOf(dc), RunFont());
        SelectObject(dc, old);
        ReleaseDC(dialogWindow, dc);
      },
      [] { Click(IDCANCEL); },
  });
  EXPECT_EQ(run.result, 2);
}

// Every text whole in its control (row labels, label boxes with the widest
// key label, group captions, radios, the two buttons), no two controls
// overlapping, each still inside the group box it was in, a control whose
// text fits where the template puts it left exactly there, and the dialog
// within the screen its scale is used on.
TEST_F(ScreenScale, EveryTextFitsNothingOverlapsAndFittingControlsStay) {
  const std::vector<Placed> before = TemplateControls();
  ASSERT_EQ(before.size(), 128u);
  int moved = 0;
  DialogRun run = RunDialog({
      [&] {
        const std::vector<Placed> now = PlacedControls(dialogWindow);
        ASSERT_EQ(now.size(), before.size());
        HDC dc = GetDC(dialogWindow);
        HGDIOBJ old = SelectObject(dc, FontOf(dialogWindow));
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        auto extent = [dc](const std::wstring &text) {
          SIZE size = {0, 0};
          GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
          return size;
        };
        // The widest text a label box can be given.
        SIZE widestLabel = {0, 0};
        for (int code = 0; code <= 256; ++code) {
          wchar_t label[16] = L"";
          std::string bytes = Label(code);
          MultiByteToWideChar(932, 0, bytes.c_str(), -1, label, 16);
          SIZE size = extent(label);
          widestLabel.cx = std::max(widestLabel.cx, size.cx);
          widestLabel.cy = std::max(widestLabel.cy, size.cy);
        }
        // Room the control's frame takes from the text: the check circle
        // of a radio and its gap, a push button's edges, a group box's
        // indent, an edit box's margins.
        const int radioMark =
            GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(4, dpi, 96);
        const int pushEdges = 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
        const int groupIndent = MulDiv(8, dpi, 96);
        for (size_t i = 0; i < now.size(); ++i) {
          const Placed &p = now[i];
          EXPECT_EQ(FontOf(p.window), FontOf(dialogWindow)) << Describe(p);
          SIZE text = extent(p.text);
          int room = 0;
          bool edit = p.className == L"Edit";
          if (edit) {
            text = widestLabel;
            DWORD margins = DWORD(SendMessageW(p.window, EM_GETMARGINS, 0, 0));
            room = LOWORD(margins) + HIWORD(margins);
          } else if (p.className == L"Button") {
            LONG kind = p.style & BS_TYPEMASK;
            room = kind == BS_AUTORADIOBUTTON ? radioMark
                   : kind == BS_GROUPBOX      ? groupIndent
                                              : pushEdges;
          }
          RECT client;
          GetClientRect(p.window, &client);
          EXPECT_LE(text.cx, client.right - room) << Describe(p);
          if (!IsGroupBox(p)) {
            EXPECT_LE(text.cy, client.bottom) << Describe(p);
          }
          // Where the template put it, the text fitted (the frame, a
          // border, takes the same from either rectangle): it stays.
          const Placed &was = before[i];
          EXPECT_EQ(was.id, p.id);
          int frameX = (p.rect.right - p.rect.left) - client.right;
          int frameY = (p.rect.bottom - p.rect.top) - client.bottom;
          bool fitted =
              text.cx <= was.rect.right - was.rect.left - frameX - room &&
              (IsGroupBox(p) ||
               text.cy <= was.rect.bottom - was.rect.top - frameY);
          bool same = EqualRect(&was.rect, &p.rect);
          if (fitted) {
            EXPECT_TRUE(same)
                << "moved although its text fitted: " << Describe(p);
          }
          moved += !same;
          // Still in the group box it was in.
          for (size_t g = 0; g < now.size(); ++g)
            if (g != i && IsGroupBox(now[g]) &&
                Within(was.rect, before[g].rect)) {
              EXPECT_TRUE(Within(p.rect, now[g].rect))
                  << Describe(p) << " left " << Describe(now[g]);
            }
        }
        // Controls that touch in dialog units can share a row of pixels
        // once rounded (the template's own, seen at 96 and 192 dpi): an
        // overlap may not be new or larger than the template's.
        auto area = [](const RECT &a, const RECT &b) {
          RECT overlap;
          return IntersectRect(&overlap, &a, &b)
                     ? (overlap.right - overlap.left) *
                           (overlap.bottom - overlap.top)
                     : 0;
        };
        for (size_t i = 0; i < now.size(); ++i)
          for (size_t j = i + 1; j < now.size(); ++j) {
            if (IsGroupBox(now[i]) || IsGroupBox(now[j])) continue;
            EXPECT_LE(area(now[i].rect, now[j].rect),
                      area(before[i].rect, before[j].rect))
                << Describe(now[i]) << " overlaps " << Describe(now[j]);
          }
        RECT window, client;
        GetWindowRect(dialogWindow, &window);
        GetClientRect(dialogWindow, &client);
        for (const Placed &p : now)
          EXPECT_TRUE(Within(p.rect, client)) << Describe(p);
        for (const ScreenOfScale &screen : kScreens)
          if (screen.dpi == dpi) {
            EXPECT_LE(window.right - window.left, screen.width);
            EXPECT_LE(window.bottom - window.top, screen.height);
          }
        printf(
            "%d dpi, \"%s\": dialog %ld x %ld, %d of 128 controls moved "
            "or widened\n",
            dpi, FamilyOf(dc).c_str(), window.right - window.left,
            window.bottom - window.top, moved);
        SelectObject(dc, old);
        ReleaseDC(dialogWindow, dc);
      },
      [] { Click(IDCANCEL); },
  });
  EXPECT_EQ(run.result, 2);
  // At 96 dpi with MS PGothic's widths the dialog is as it always was.
  if (RunDpi() == 96 && RunFont() == "Ume P Gothic") {
    EXPECT_EQ(moved, 0);
  }
}

}  // namespace
