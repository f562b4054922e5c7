// The resources inside the built keyconfig.exe, parsed field by field from
// the file itself (loaded as a data file) and compared with tables written
// from the dialog's layout: header, font, and for each of the 128 controls
// its class, style, identifier, position, size and text; then the icon.
#include <gtest/gtest.h>
#include <stdint.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_controls.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 1041
const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
const WORD kNoId = 0xFFFF;

struct Control {
  WORD classAtom;
  DWORD style;
  WORD id;
  short x, y, cx, cy;
  std::wstring text;
};

bool operator==(const Control &a, const Control &b) {
  return a.classAtom == b.classAtom && a.style == b.style && a.id == b.id &&
         a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy &&
         a.text == b.text;
}

std::ostream &operator<<(std::ostream &out, const Control &c) {
  std::string text;
  for (wchar_t ch : c.text)
    text += ch < 128 ? std::string(1, static_cast<char>(ch))
                     : "\\u" + std::to_string(static_cast<int>(ch));
  return out << "{class " << c.classAtom << ", style 0x" << std::hex << c.style
             << std::dec << ", id " << c.id << ", " << c.x << "," << c.y << " "
             << c.cx << "x" << c.cy << ", \"" << text << "\"}";
}

// One player's panel, as laid out in the dialog's tables.
struct Panel {
  const wchar_t *groupText;
  short group[4], keyboard[4], pad[4];
  short arrowX, buttonLabelX;
  short labelY[8];
  short boxX, changeX;
  short rowY[8];
  struct Sub {
    short box[4];
    short columnX[2];
    short rowY[4];
  } subgroups[4];
  DWORD downLabelStyle;
};

const Panel kPanels[2] = {
    {L"PLAYER 1",
     {7, 7, 189, 276},
     {43, 19, 121, 130},
     {11, 150, 181, 129},
     58,
     48,
     {29, 44, 59, 74, 89, 104, 119, 134},
     81,
     124,
     {27, 42, 57, 72, 87, 102, 117, 132},
     {{{14, 159, 85, 57}, {19, 58}, {171, 181, 193, 203}},
      {{102, 159, 85, 57}, {107, 147}, {171, 181, 193, 203}},
      {{14, 218, 85, 57}, {19, 58}, {230, 240, 252, 262}},
      {{102, 218, 85, 57}, {107, 147}, {230, 240, 252, 262}}},
     SS_LEFTNOWORDWRAP | WS_GROUP},
    {L"PLAYER 2",
     {200, 7, 192, 276},
     {238, 18, 125, 130},
     {204, 149, 184, 129},
     258,
     248,
     {28, 42, 58, 72, 88, 102, 118, 132},
     281,
     324,
     {26, 40, 56, 70, 86, 100, 116, 130},
     {{{208, 158, 85, 57}, {213, 253}, {170, 180, 192, 202}},
      {{296, 158, 88, 57}, {303, 344}, {170, 180, 192, 202}},
      {{208, 217, 85, 57}, {213, 253}, {229, 239, 251, 261}},
      {{296, 217, 88, 57}, {303, 344}, {229, 239, 251, 261}}},
     SS_LEFT | WS_GROUP},
};

std::vector<Control> ExpectedControls() {
  const DWORD child = WS_CHILD | WS_VISIBLE;
  std::vector<Control> controls = {
      {kButton, child | BS_DEFPUSHBUTTON | WS_TABSTOP, 1, 277, 290, 50, 14,
       L"これでよしと"},
      {kButton, child | BS_PUSHBUTTON | WS_TABSTOP, 2, 336, 290, 50, 14,
       L"だめ"},
  };
  auto box = [&](const wchar_t *text, const short(&r)[4]) {
    controls.push_back(
        {kButton, child | BS_GROUPBOX, kNoId, r[0], r[1], r[2], r[3], text});
  };
  for (int player = 0; player < 2; ++player) {
    const Panel &p = kPanels[player];
    for (int row = 0; row < 8; ++row) {
      bool arrow = row < 4;
      DWORD style = row == 1 ? p.downLabelStyle : SS_LEFT | WS_GROUP;
      controls.push_back({kStatic, child | style, kNoId,
                          arrow ? p.arrowX : p.buttonLabelX, p.labelY[row],
                          short(arrow ? 8 : 27), 8, kKeyRows[row].label});
    }
    box(p.groupText, p.group);
    for (int row = 0; row < 8; ++row)
      controls.push_back(
          {kEdit, child | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
           kKeyRows[row].box[player], p.boxX, p.rowY[row], 40, 14, L""});
    for (int row = 0; row < 8; ++row)
      controls.push_back({kButton, child | BS_PUSHBUTTON | WS_TABSTOP,
                          kKeyRows[row].change[player], p.changeX, p.rowY[row],
                          31, 14, L"変更"});
    box(L"keyboard", p.keyboard);
    box(L"pad", p.pad);
    for (int g = 0; g < 4; ++g) {
      const Panel::Sub &sub = p.subgroups[g];
      box(kPadGroups[g].groupBox, sub.box);
      for (int value = 0; value < 8; ++value)
        controls.push_back(
            {kButton, child | BS_AUTORADIOBUTTON | (value == 0 ? WS_GROUP : 0u),
             kPadGroups[g].radios[player][value], sub.columnX[value / 4],
             sub.rowY[value % 4], 38, 10,
             L"button" + std::to_wstring(value + 1)});
    }
  }
  return controls;
}

// Reads a standard dialog template (DLGTEMPLATE and its items).
struct TemplateReader {
  const BYTE *data;
  size_t size, at = 0;

  bool Fits(size_t n) const { return at + n <= size; }
  WORD Word() {
    WORD w = 0;
    if (Fits(2)) memcpy(&w, data + at, 2);
    at += 2;
    return w;
  }
  DWORD Dword() {
    DWORD d = Word();
    return d | DWORD(Word()) << 16;
  }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring text;
    while (Fits(2)) {
      WORD w = Word();
      if (!w) break;
      text += wchar_t(w);
    }
    return text;
  }
  // A class, menu or text field: 0xFFFF then an ordinal, or a string.
  std::wstring NameOrOrdinal(WORD *ordinal) {
    *ordinal = 0;
    if (Fits(2) && data[at] == 0xFF && data[at + 1] == 0xFF) {
      at += 2;
      *ordinal = Word();
      return L"";
    }
    return String();
  }
  void AlignDword() { at = (at + 3) & ~size_t(3); }
};

struct Resource {
  const BYTE *data = nullptr;
  DWORD size = 0;
};

struct KeyconfigResources : ::testing::Test {
  static HMODULE module;

  static void SetUpTestSuite() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    path.resize(path.rfind('\\'));
    path += "\\..\\keyconfig\\keyconfig.exe";
    module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module) FreeLibrary(module);
  }

  static Resource Find(LPCSTR type, WORD id) {
    Resource r;
    HRSRC found =
        FindResourceExA(module, type, MAKEINTRESOURCEA(id), kJapanese);
    if (!found) return r;
    r.data =
        static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    r.size = SizeofResource(module, found);
    return r;
  }
};

HMODULE KeyconfigResources::module;

TEST_F(KeyconfigResources, DialogHeaderAndFont) {
  ASSERT_NE(module, nullptr) << "keyconfig.exe not found next to the tests";
  Resource dialog = Find(RT_DIALOG, 101);
  ASSERT_NE(dialog.data, nullptr) << "no RT_DIALOG 101 in language 1041";
  TemplateReader in{dialog.data, dialog.size};
  DWORD style = in.Dword();
  EXPECT_NE(style, 0xFFFF0001u) << "an extended template";
  EXPECT_EQ(style, 0x80C800C0u);
  EXPECT_EQ(style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                         DS_SETFONT));
  EXPECT_EQ(in.Dword(), 0u) << "extended style";
  EXPECT_EQ(in.Word(), 128) << "control count";
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 0);
  EXPECT_EQ(in.Short(), 399);
  EXPECT_EQ(in.Short(), 307);
  WORD ordinal;
  EXPECT_EQ(in.NameOrOrdinal(&ordinal), L"") << "menu";
  EXPECT_EQ(ordinal, 0);
  EXPECT_EQ(in.NameOrOrdinal(&ordinal), L"") << "default dialog class";
  EXPECT_EQ(ordinal, 0);
  EXPECT_EQ(in.String(), L"KEY CONFIG");
  EXPECT_EQ(in.Word(), 9) << "point size";
  EXPECT_EQ(in.String(), L"ＭＳ Ｐゴシック");
}

TEST_F(KeyconfigResources, EveryControlInTemplateOrder) {
  ASSERT_NE(module, nullptr);
  Resource dialog = Find(RT_DIALOG, 101);
  ASSERT_NE(dialog.data, nullptr);
  TemplateReader in{dialog.data, dialog.size};
  in.at = 8;
  WORD count = in.Word();
  in.at += 8;
  WORD ordinal;
  in.NameOrOrdinal(&ordinal), in.NameOrOrdinal(&ordinal), in.String();
  in.Word(), in.String();

  std::vector<Control> actual;
  for (int i = 0; i < count && in.Fits(18); ++i) {
    in.AlignDword();
    Control c;
    c.style = in.Dword();
    DWORD exStyle = in.Dword();
    EXPECT_EQ(exStyle, 0u) << "control " << i;
    c.x = in.Short(), c.y = in.Short(), c.cx = in.Short(), c.cy = in.Short();
    c.id = in.Word();
    std::wstring className = in.NameOrOrdinal(&c.classAtom);
    EXPECT_EQ(className, L"") << "control " << i << " names its class";
    WORD textOrdinal;
    c.text = in.NameOrOrdinal(&textOrdinal);
    WORD creationData = in.Word();
    EXPECT_EQ(creationData, 0) << "control " << i;
    in.at += creationData;
    actual.push_back(c);
  }
  EXPECT_LE(in.at, size_t(dialog.size));
  std::vector<Control> expected = ExpectedControls();
  ASSERT_EQ(expected.size(), 128u);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "control " << i;
}

TEST_F(KeyconfigResources, OneIconOf32By32In16Colours) {
  ASSERT_NE(module, nullptr);
  Resource group = Find(RT_GROUP_ICON, 103);
  ASSERT_NE(group.data, nullptr) << "no RT_GROUP_ICON 103 in language 1041";
  ASSERT_EQ(group.size, 6u + 14u);  // GRPICONDIR with one entry
  TemplateReader in{group.data, group.size};
  EXPECT_EQ(in.Word(), 0);  // reserved
  EXPECT_EQ(in.Word(), 1);  // icons
  EXPECT_EQ(in.Word(), 1);  // one image
  EXPECT_EQ(group.data[6], 32);
  EXPECT_EQ(group.data[7], 32);
  EXPECT_EQ(group.data[8], 16);  // colours
  in.at = 10;
  EXPECT_EQ(in.Word(), 1);  // planes
  EXPECT_EQ(in.Word(), 4);  // bits per pixel
  DWORD bytes = in.Dword();
  EXPECT_EQ(in.Word(), 1) << "icon resource id";

  Resource image = Find(RT_ICON, 1);
  ASSERT_NE(image.data, nullptr) << "no RT_ICON 1 in language 1041";
  EXPECT_EQ(image.size, bytes);
  // A 4-bit DIB: header, 16 palette entries, colour bits, mask bits.
  ASSERT_EQ(image.size, 40u + 16 * 4 + 32 * 16 + 32 * 4);
  BITMAPINFOHEADER header;
  memcpy(&header, image.data, sizeof header);
  EXPECT_EQ(header.biWidth, 32);
  EXPECT_EQ(header.biHeight, 64);  // colour and mask halves
  EXPECT_EQ(header.biBitCount, 4);
  HICON icon =
      CreateIconFromResourceEx(const_cast<BYTE *>(image.data), image.size, TRUE,
                               0x00030000, 32, 32, LR_DEFAULTCOLOR);
  EXPECT_NE(icon, nullptr) << "the platform cannot read the icon";
  if (icon) DestroyIcon(icon);
  // The picture is drawn, not blank: several colours and some transparency.
  const BYTE *bits = image.data + 40 + 64;
  std::vector<bool> used(16);
  for (int i = 0; i < 32 * 16; ++i)
    used[bits[i] >> 4] = used[bits[i] & 15] = true;
  EXPECT_GE(std::count(used.begin(), used.end(), true), 4);
  const BYTE *mask = bits + 32 * 16;
  EXPECT_NE(std::count(mask, mask + 128, 0), 128) << "no transparent pixel";
}

}  // namespace
